#include "repair.h"

#include "repair_error.h"
#include "rewrite.h"
#include "survey.h"
#include "tail_hint.h"

#include <host/base/count_text.h>

#include <system_error>

namespace orvohost::repair {

namespace {

// The report's sizes, and the copy closed.
void finish(const std::filesystem::path& input, CopyWriter& out, RepairReport& report) {
    report.bytes_out = out.position();
    out.close();
    std::error_code ignored;
    report.bytes_in = std::filesystem::file_size(input, ignored);
}

} // namespace

RepairReport repair_file(const std::filesystem::path& input, CopyWriter& out,
                         const ScanMapSink& map, unsigned threads) {
    RepairReport report;
    // Where the file's own index counts its scans, the copy is written in
    // the pass that surveys the file, on the guess that the index is right
    // and the scans are numbered by position: one read of the file instead
    // of two. A wrong guess costs a second writing.
    const TailHint hint = read_tail_hint(input);
    std::optional<Survey> survey;
    std::uint64_t mapped = 0;
    if (hint.indexed) {
        out.set_hashing(hint.sha1);
        const ScanMapSink counted = [&](std::uint64_t position, std::string_view num) {
            mapped = position;
            map(position, num);
        };
        try {
            survey = rewrite_guessing(input, *hint.indexed, hint.sha1, out,
                                      map ? counted : ScanMapSink{}, report, threads);
        } catch (const RepairIoError&) {
            // A file that cannot be repaired says so before a copy that
            // cannot be written, as when it is surveyed first.
            survey_file(input, threads);
            throw;
        }
        if (!survey) {
            finish(input, out, report);
            return report;
        }
        out.start_over(survey->has_sha1);
        report = RepairReport{};
    } else {
        survey = survey_file(input, threads);
        out.set_hashing(survey->has_sha1);
    }
    // The scans mapped already are not mapped again.
    const ScanMapSink rest = [&](std::uint64_t position, std::string_view num) {
        if (position > mapped)
            map(position, num);
    };
    rewrite_file(input, *survey, out, map ? rest : ScanMapSink{}, report, threads);
    finish(input, out, report);
    return report;
}

std::string describe(const RepairReport& report) {
    std::vector<std::string> parts;
    if (!report.old_version.empty())
        parts.push_back("schema " + report.old_version + " written as 2.1");
    if (report.renumbered > 0) {
        std::string text = "renumbered " + counted(report.renumbered, "scan", "scans");
        if (report.first_renumbered)
            text += " from " + std::to_string(*report.first_renumbered);
        parts.push_back(text);
    }
    if (report.references > 0)
        parts.push_back(
            counted(report.references, "precursor scan reference", "precursor scan references") +
            " renumbered");
    if (report.old_count)
        parts.push_back("scanCount " + *report.old_count + " set to " +
                        std::to_string(report.scans));
    if (report.count_added)
        parts.push_back("scanCount " + std::to_string(report.scans) + " added");
    if (report.decompressed > 0)
        parts.push_back(counted(report.decompressed, "peak list", "peak lists") + " decompressed");
    if (report.content_types > 0)
        parts.push_back("contentType written as pairOrder in " +
                        counted(report.content_types, "peak list", "peak lists"));
    if (report.byte_orders > 0)
        parts.push_back("byteOrder=\"network\" added to " +
                        counted(report.byte_orders, "peak list", "peak lists"));
    if (report.pair_orders > 0)
        parts.push_back("pairOrder=\"m/z-int\" added to " +
                        counted(report.pair_orders, "peak list", "peak lists"));
    if (report.early_counts > 0)
        parts.push_back(
            counted(report.early_counts, "earlier scanCount= text", "earlier scanCount= texts") +
            " written as \"scanCount =\"");
    if (report.other_numbers > 0)
        parts.push_back(counted(report.other_numbers, "other num= text", "other num= texts") +
                        " in scan headers written as \"num =\"");
    if (report.regrouped > 0)
        parts.push_back("blanks inside base64 groups removed from " +
                        counted(report.regrouped, "peak list", "peak lists"));
    parts.push_back("index rebuilt: " + counted(report.scans, "scan", "scans"));
    if (report.sha1)
        parts.push_back("sha1 recomputed");
    if (!report.undecodable.empty()) {
        std::string text = "peaks that cannot be decoded copied as they were (scan";
        text += report.undecodable.size() == 1 ? " " : "s ";
        for (std::size_t i = 0; i < report.undecodable.size(); ++i)
            text += (i ? ", " : "") + std::to_string(report.undecodable[i]);
        parts.push_back(text + ")");
    }
    std::string line;
    for (const auto& part : parts)
        line += (line.empty() ? "" : ", ") + part;
    return line;
}

} // namespace orvohost::repair
