#include "repair.h"

#include "rewrite.h"
#include "survey.h"

#include <host/base/count_text.h>

#include <system_error>

namespace orvohost::repair {

RepairReport repair_file(const std::filesystem::path& input, CopyWriter& out,
                         const ScanMapSink& map, unsigned threads) {
    RepairReport report;
    const Survey survey = survey_file(input, threads);
    out.set_hashing(survey.has_sha1);
    rewrite_file(input, survey, out, map, report, threads);
    report.bytes_out = out.position();
    out.close();
    std::error_code ignored;
    report.bytes_in = std::filesystem::file_size(input, ignored);
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
