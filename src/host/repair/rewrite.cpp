#include "rewrite.h"

#include "ordered_copy.h"
#include "repair_error.h"
#include "tag_reader.h"

#include <host/markup/start_tag.h>

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
    Rewriter(const std::filesystem::path& input, const Survey& facts, CopyWriter& copy,
             const ScanMapSink& sink, RepairReport& changes, unsigned threads)
        : reader(input), survey(facts), out(copy, threads), map(sink), report(changes) {
        offsets.reserve(survey.nums.size());
        if (survey.renumbers())
            for (std::size_t i = 0; i < survey.nums.size(); ++i)
                if (survey.nums[i])
                    new_numbers.try_emplace(*survey.nums[i], i + 1);
    }

    void run() {
        for (Token token = reader.next(); token.kind != Token::END && !ended;
             token = reader.next()) {
            if (token.kind == Token::TEXT) {
                if (in_peak_text)
                    peak_text(token.bytes);
                else
                    out.write(token.bytes);
            } else {
                in_peak_text = false;
                tag(token.bytes);
            }
        }
        out.settle();
    }

private:
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
        if (name == "mzXML" && survey.is_3x())
            return root(bytes);
        out.write(bytes);
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
        report.old_version = survey.version;
        out.write(text);
    }

    void run_start(std::string_view bytes) {
        in_run = true;
        StartTag tag(bytes);
        const std::string count = std::to_string(survey.nums.size());
        if (const auto old = tag.value("scanCount")) {
            if (to_number(*old) != static_cast<std::int64_t>(survey.nums.size())) {
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
        if (map)
            map(position, num ? *num : std::string_view("-"));
        if (!num || to_number(*num) == static_cast<std::int64_t>(position))
            return out.write(bytes);
        const std::string old(*num);
        if (report.renumbered++ == 0)
            report.first_renumbered = to_number(old);
        tag.set_value("num", std::to_string(position));
        out.write(tag.bytes());
        out.write(ORIGINAL_NUMBER);
        out.write(old);
        out.write("-->");
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
        out.write(tag.bytes());
    }

    void peaks(std::string_view bytes) {
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
        std::string content;
        Token token = reader.next();
        for (; token.kind == Token::TEXT; token = reader.next())
            content.append(token.bytes);
        const bool closed = token.kind == Token::TAG && tag_name(token.bytes) == "/peaks";
        const std::string next_tag(token.kind == Token::END ? "" : token.bytes);
        if (closed) {
            tag.remove("compressionType");
            tag.remove("compressedLen");
            // Copied as it was when it does not inflate: the person learns
            // which scan, the rest of the file still reads.
            out.write_peaks(std::string(tag.bytes()), std::string(bytes), std::move(content),
                            [this, count_edits, scan = scans_seen](bool inflated) {
                                if (!inflated)
                                    return report.undecodable.push_back(scan);
                                count_edits();
                                ++report.decompressed;
                            });
        } else {
            report.undecodable.push_back(scans_seen);
            out.write(bytes);
            out.write(content);
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
        out.write(bytes);
        // Offsets and the digest need every byte before them in place.
        CopyWriter& copy = out.settle();
        finish_copy(copy);
    }

    void finish_copy(CopyWriter& copy) {
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
        std::string text = "<index name=\"scan\">";
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            text += survey.line_end + "    <offset id=\"" + std::to_string(i + 1) + "\">" +
                    std::to_string(offsets[i]) + "</offset>";
            if (text.size() > (std::size_t{1} << 20)) {
                copy.write(text);
                text.clear();
            }
        }
        text += survey.line_end + "  </index>";
        copy.write(text);
    }

    void write_index_offset(CopyWriter& copy) {
        copy.write("<indexOffset>" + std::to_string(index_at) + "</indexOffset>");
    }

    TagReader reader;
    const Survey& survey;
    OrderedCopy out;
    const ScanMapSink& map;
    RepairReport& report;
    std::vector<std::uint64_t> offsets;
    std::unordered_map<std::int64_t, std::uint64_t> new_numbers;
    std::uint64_t index_at = 0;
    std::uint64_t scans_seen = 0;
    bool in_run = false;
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

} // namespace orvohost::repair
