#include "rewrite.h"

#include "ordered_copy.h"
#include "repair_error.h"
#include "survey_pass.h"
#include "tag_reader.h"

#include <host/markup/start_tag.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

namespace orvohost::repair {

namespace {

// Where a scan's old number is kept: a comment, which no XML reader takes
// for data, and which holds no "num=" a text search could take for the
// scan's number.
constexpr std::string_view ORIGINAL_NUMBER = "<!--original scan number ";

class Rewriter {
public:
    // The facts of a survey taken before.
    Rewriter(const std::filesystem::path& input, const Survey& facts, CopyWriter& copy,
             const ScanMapSink& sink, RepairReport& changes, unsigned threads)
        : reader(input), known(&facts), scan_total(facts.nums.size()), out(copy, threads),
          map(sink), report(changes) {
        offsets.reserve(scan_total);
        if (facts.renumbers())
            for (std::size_t i = 0; i < facts.nums.size(); ++i)
                if (facts.nums[i])
                    new_numbers.try_emplace(*facts.nums[i], i + 1);
    }

    // Facts guessed, `pass` surveying every token read to check them: the
    // scans number `scans`, each numbered by its position, and the file has
    // no digest unless `hashed`.
    Rewriter(const std::filesystem::path& input, SurveyPass& pass, std::uint64_t scans, bool hashed,
             CopyWriter& copy, const ScanMapSink& sink, RepairReport& changes, unsigned threads)
        : reader(input), guessing(&pass), scan_total(scans), hashing(hashed), out(copy, threads),
          map(sink), report(changes) {
        // Room taken once: growing by steps, each asking the system for
        // fresh memory, costs more.
        const auto room = std::min<std::uint64_t>(scan_total, std::uint64_t{1} << 24);
        offsets.reserve(room);
        pass.expect(room);
    }

    // False when a guess proved wrong: nothing written is of use, and
    // surveyed() holds the survey to write the copy with.
    bool run() {
        for (Token token = next(); token.kind != Token::END && !ended && !guess_failed;
             token = next()) {
            if (token.kind == Token::TEXT) {
                if (in_peak_text)
                    peak_text(token.bytes);
                else
                    write_outside(token.bytes);
            } else {
                in_peak_text = false;
                tag(token.bytes);
            }
        }
        if (guessing) {
            // The guess failed before the run's end, or the file ends
            // before it: the survey finds out which, and says why.
            survey_rest();
            guess_failed = true;
        }
        if (guess_failed)
            return false;
        out.settle();
        return true;
    }

    Survey&& surveyed() { return std::move(checked); }

private:
    Token next() {
        const Token token = reader.next();
        if (guessing && token.kind != Token::END)
            guessing->take(token);
        return token;
    }

    // What the whole file tells, while guessing: what the tokens read so
    // far tell.
    const Survey& facts() const { return guessing ? guessing->so_far() : *known; }

    // Surveys the tokens left; raises RepairRefused for a file that cannot
    // be repaired.
    void survey_rest() {
        for (Token token = reader.next(); token.kind != Token::END; token = reader.next())
            guessing->take(token);
        checked = std::move(*guessing).finish();
        guessing = nullptr;
        known = &checked;
    }

    bool guess_held() const {
        return checked.nums.size() == scan_total && !checked.renumbers() &&
               (hashing || !checked.has_sha1);
    }

    void tag(std::string_view bytes) {
        const std::string_view name = tag_name(bytes);
        if (name == "scan")
            return scan(bytes);
        if (name == "peaks")
            return peaks(bytes);
        if (name == "precursorMz")
            return precursor(bytes);
        if (name == "msRun")
            return run_start(bytes);
        if (name == "/msRun")
            return run_end(bytes);
        if (name == "mzXML" && facts().is_3x())
            return root(bytes);
        write_outside(bytes);
    }

    // Bytes no rule of the repair edits. The reader takes some values by a
    // text search of the lines where they should stand, whatever element
    // the text is in: before the run's start tag, the first "scanCount=" is
    // the run's count; in a scan's header, up to its peaks, every "num="
    // must name the scan. Any other such text (in the declaration, the
    // root, a comment, a scanOrigin) is written "NAME =", which XML reads as
    // the same attribute and the search passes over, so the values the
    // reader takes are the run's and the scan's own.
    void write_outside(std::string_view bytes) {
        if (!run_seen)
            return write_spaced(bytes, "scanCount=", report.early_counts);
        if (in_header)
            return write_spaced(bytes, "num=", report.other_numbers);
        out.write(bytes);
    }

    // `bytes` with each `key` but the one at `keep` written "NAME =".
    void write_spaced(std::string_view bytes, std::string_view key, std::uint64_t& spaced,
                      std::size_t keep = std::string_view::npos) {
        std::size_t at = bytes.find(key);
        if (at == keep && at != bytes.npos)
            at = bytes.find(key, keep + key.size());
        if (at == bytes.npos)
            return out.write(bytes);
        std::string text;
        std::size_t from = 0;
        for (; at != bytes.npos; at = bytes.find(key, from)) {
            const bool own = at == keep;
            text.append(bytes.substr(from, at + key.size() - (own ? 0 : 1) - from));
            if (!own) {
                text.append(" =");
                ++spaced;
            }
            from = at + key.size();
        }
        text.append(bytes.substr(from));
        out.write(text);
    }

    // The schema marker of the root, 3.x to 2.1; the namespace follows it.
    void root(std::string_view bytes) {
        std::string text(bytes);
        for (std::size_t at = text.find("mzXML_"); at != text.npos;
             at = text.find("mzXML_", at + 1)) {
            std::size_t from = at + 6;
            if (text.compare(from, 4, "idx_") == 0)
                from += 4;
            std::size_t to = from;
            while (to < text.size() && ((text[to] >= '0' && text[to] <= '9') || text[to] == '.'))
                ++to;
            while (to > from && text[to - 1] == '.')
                --to;
            if (to > from && text[from] == '3')
                text.replace(from, to - from, "2.1");
        }
        report.old_version = facts().version;
        write_outside(text);
    }

    void run_start(std::string_view bytes) {
        in_run = true;
        run_seen = true;
        StartTag tag(bytes);
        const std::string count = std::to_string(scan_total);
        if (const auto old = tag.value("scanCount")) {
            if (to_number(*old) != static_cast<std::int64_t>(scan_total)) {
                report.old_count = std::string(*old);
                tag.set_value("scanCount", count);
            }
        } else {
            report.count_added = true;
            tag.add("scanCount", count);
        }
        out.write(tag.bytes());
    }

    void scan(std::string_view bytes) {
        const std::uint64_t position = ++scans_seen;
        out.append_position(offsets);
        StartTag tag(bytes);
        const auto num = tag.value("num");
        if (guessing) {
            // A scan beyond the count, or numbered other than by its
            // position: the copy must be written from a survey.
            const auto number = num ? to_number(*num) : std::nullopt;
            if (position > scan_total ||
                (number && *number != static_cast<std::int64_t>(position))) {
                guess_failed = true;
                return;
            }
        }
        if (map)
            map(position, num ? *num : std::string_view("-"));
        in_header = true;
        if (!num || to_number(*num) == static_cast<std::int64_t>(position))
            return write_scan_tag(tag);
        const std::string old(*num);
        if (report.renumbered++ == 0)
            report.first_renumbered = to_number(old);
        tag.set_value("num", std::to_string(position));
        write_scan_tag(tag);
        // The old number is any text: kept under the header's rule, so that
        // a "num=" in it is not taken for the scan's and a second repair
        // finds nothing to change, and with no "--" that would end or
        // break the comment.
        write_spaced(std::string(ORIGINAL_NUMBER) + comment_text(old) + "-->",
                     "num=", report.other_numbers);
    }

    // `text` as a comment may hold it: a "-" never follows another or ends it.
    static std::string comment_text(std::string_view text) {
        std::string kept;
        for (const char c : text) {
            if (c == '-' && kept.ends_with('-'))
                kept += ' ';
            kept += c;
        }
        if (kept.ends_with('-'))
            kept += ' ';
        return kept;
    }

    // The tag with any "num=" but its own attribute's spaced, as in the
    // rest of its header: the reader takes the last it finds.
    void write_scan_tag(const StartTag& tag) {
        write_spaced(tag.bytes(), "num=", report.other_numbers,
                     tag.name_at("num").value_or(std::string_view::npos));
    }

    // A scan named by number follows the renumbering.
    void precursor(std::string_view bytes) {
        StartTag tag(bytes);
        const auto reference = tag.value("precursorScanNum");
        if (reference && !new_numbers.empty()) {
            const auto target = to_number(*reference);
            const auto found = target ? new_numbers.find(*target) : new_numbers.end();
            if (found != new_numbers.end() &&
                tag.set_value("precursorScanNum", std::to_string(found->second)))
                ++report.references;
        }
        write_outside(tag.bytes());
    }

    void peaks(std::string_view bytes) {
        in_header = false;
        StartTag tag(bytes);
        const bool zlib = tag.value("compressionType") == "zlib";
        const bool content_type = tag.value("contentType") && !tag.value("pairOrder");
        if (content_type)
            tag.rename("contentType", "pairOrder");
        // Each is added right after the name: byteOrder ends up first.
        const bool pair_order = !tag.value("pairOrder");
        if (pair_order)
            tag.add("pairOrder", "m/z-int");
        const bool byte_order = !tag.value("byteOrder");
        if (byte_order)
            tag.add("byteOrder", "network");
        // By value: for a compressed text it runs once the text has inflated.
        const auto count_edits = [this, content_type, pair_order, byte_order] {
            report.content_types += content_type ? 1U : 0U;
            report.pair_orders += pair_order ? 1U : 0U;
            report.byte_orders += byte_order ? 1U : 0U;
        };
        if (!zlib || bytes.ends_with("/>")) {
            count_edits();
            in_peak_text = !bytes.ends_with("/>");
            group_phase = 0;
            peak_text_changed = false;
            return out.write(tag.bytes());
        }

        // The whole compressed text, up to </peaks>, to inflate at once. Any
        // other tag ends it too: compressed peaks hold no markup, and a tag
        // that stands there (</msRun> of a broken file) is the file's.
        // The tag as it was is kept first: reading on may overwrite it.
        kept_tag.assign(bytes);
        std::string& content = out.peak_text();
        Token token = next();
        for (; token.kind == Token::TEXT; token = next())
            content.append(token.bytes);
        const bool closed = token.kind == Token::TAG && tag_name(token.bytes) == "/peaks";
        const std::string next_tag(token.kind == Token::END ? "" : token.bytes);
        if (closed) {
            tag.remove("compressionType");
            tag.remove("compressedLen");
            // Copied as it was when it does not inflate: the person learns
            // which scan, the rest of the file still reads.
            out.write_peaks(tag.bytes(), kept_tag,
                            [this, count_edits, scan = scans_seen](bool inflated) {
                                if (!inflated)
                                    return report.undecodable.push_back(scan);
                                count_edits();
                                ++report.decompressed;
                            });
        } else {
            report.undecodable.push_back(scans_seen);
            const std::string text = out.take_back_text();
            out.write(kept_tag);
            out.write(text);
        }
        if (closed)
            out.write(next_tag);
        else if (!next_tag.empty())
            this->tag(next_tag);
    }

    // Base64 may hold white space anywhere, but the reader takes it only
    // between groups of four characters: a blank inside a group is dropped,
    // every other byte copied. The text may come in several pieces.
    void peak_text(std::string_view text) {
        if (!has_blank(text)) {
            group_phase = (group_phase + text.size()) % 4;
            return out.write(text);
        }
        std::string kept;
        kept.reserve(text.size());
        for (const char c : text) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                if (group_phase != 0) {
                    if (!peak_text_changed)
                        ++report.regrouped;
                    peak_text_changed = true;
                    continue;
                }
            } else {
                group_phase = (group_phase + 1) % 4;
            }
            kept += c;
        }
        out.write(kept);
    }

    // The copy ends as every reader of an index expects, whatever the input
    // had after its run (an index, a digest, a second document, junk): the
    // fresh index, its offset, the digest where the input had one, the
    // root's end tag. A copy repaired again so comes out the same.
    void run_end(std::string_view bytes) {
        in_run = false;
        in_header = false;
        out.write(bytes);
        // What follows depends on the whole file: whether there is a
        // digest, how lines end. A guess that failed is found out here.
        if (guessing) {
            survey_rest();
            if (!guess_held()) {
                guess_failed = true;
                return;
            }
        }
        // Offsets and the digest need every byte before them in place.
        CopyWriter& copy = out.settle();
        finish_copy(copy);
    }

    void finish_copy(CopyWriter& copy) {
        const Survey& survey = *known;
        copy.write(survey.line_end + "  ");
        write_index(copy);
        copy.write(survey.line_end + "  ");
        write_index_offset(copy);
        if (survey.has_sha1) {
            // The digest covers every byte up to and including its own start tag.
            copy.write(survey.line_end + "  <sha1>");
            copy.write(copy.digest());
            copy.write("</sha1>");
            report.sha1 = true;
        }
        copy.write(survey.line_end + "</mzXML>" + survey.line_end);
        ended = true;
    }

    void write_index(CopyWriter& copy) {
        index_at = copy.position();
        const std::string& line_end = known->line_end;
        std::string text = "<index name=\"scan\">";
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            text += line_end + "    <offset id=\"" + std::to_string(i + 1) + "\">" +
                    std::to_string(offsets[i]) + "</offset>";
            if (text.size() > (std::size_t{1} << 20)) {
                copy.write(text);
                text.clear();
            }
        }
        text += line_end + "  </index>";
        copy.write(text);
    }

    void write_index_offset(CopyWriter& copy) {
        copy.write("<indexOffset>" + std::to_string(index_at) + "</indexOffset>");
    }

    TagReader reader;
    const Survey* known = nullptr;
    SurveyPass* guessing = nullptr;
    Survey checked; // the survey a guessing pass took
    std::uint64_t scan_total;
    bool hashing = false;
    bool guess_failed = false;
    OrderedCopy out;
    const ScanMapSink& map;
    RepairReport& report;
    std::vector<std::uint64_t> offsets;
    std::unordered_map<std::int64_t, std::uint64_t> new_numbers;
    std::string kept_tag; // a compressed text's tag, kept from one to the next
    std::uint64_t index_at = 0;
    std::uint64_t scans_seen = 0;
    bool in_run = false;
    bool run_seen = false;  // the run's start tag written
    bool in_header = false; // after a scan's start tag, before its peaks
    bool in_peak_text = false;
    bool peak_text_changed = false;
    std::size_t group_phase = 0; // characters of the current base64 group
    bool ended = false;          // the run's end and the copy's trailer written
};

} // namespace

void rewrite_file(const std::filesystem::path& input, const Survey& survey, CopyWriter& out,
                  const ScanMapSink& map, RepairReport& report, unsigned threads) {
    Rewriter rewriter(input, survey, out, map, report, threads);
    rewriter.run();
    report.scans = survey.nums.size();
}

std::optional<Survey> rewrite_guessing(const std::filesystem::path& input, std::uint64_t scans,
                                       bool hashed, CopyWriter& out, const ScanMapSink& map,
                                       RepairReport& report, unsigned threads) {
    SurveyPass pass(false);
    Rewriter rewriter(input, pass, scans, hashed, out, map, report, threads);
    if (!rewriter.run())
        return rewriter.surveyed();
    report.scans = scans;
    return std::nullopt;
}

} // namespace orvohost::repair
