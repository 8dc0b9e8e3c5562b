// orvo-host spectrum FILE... [LABEL...] [-o OUT]: the peaks of the scans asked
// for, by label or by the scan filters, or both, in each file given.
#include "context.h"
#include "usage_text.h"

#include <host/base/count_text.h>
#include <host/output/scan_cells.h>
#include <host/session/record_values.h>

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

namespace orvohost::cli {

namespace {

struct Request {
    std::vector<std::string> files;
    std::vector<std::uint32_t> labels;
};

// The words after the subcommand are files, then labels: a whole number is
// a label (the first word is always a file), a word that names a path or
// looks like one a file. A word that is neither is a usage error, not a
// missing file, so that a mistyped label is called one.
Request split_words(const std::vector<std::string>& words) {
    Request request;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const bool digits = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
            return c >= '0' && c <= '9';
        });
        if (i > 0 && digits) {
            std::uint32_t label = 0;
            const auto [end, error] =
                std::from_chars(word.data(), word.data() + word.size(), label);
            if (error != std::errc() || label > orvoeng::MAX_LABEL)
                throw CLI::ValidationError(
                    "LABEL", fmt::format("{} is no scan label (labels run from 0 to {})", word,
                                         orvoeng::MAX_LABEL));
            request.labels.push_back(label);
            continue;
        }
        std::error_code unknown;
        if (i > 0 && word.find_first_of("./\\") == std::string::npos &&
            !std::filesystem::exists(word, unknown))
            throw CLI::ValidationError("LABEL", not_a_label(word) + "; nor is there such a file");
        request.files.push_back(word);
    }
    return request;
}

} // namespace

void add_spectrum(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "spectrum",
        "Print the peaks of the scans with these labels, or of those the filters select");
    static std::vector<std::string> words;
    static ScanFilter filter;
    static PeakFilter kept;
    static std::string output;
    command
        ->add_option("FILE", words,
                     "mzXML files, then the labels of the scans to print (default: the scans the "
                     "filters select)")
        ->required();
    add_output_option(*command, output, "listing");
    add_scan_filter(*command, filter);
    add_peak_filter(*command, kept);
    add_shared_options(*command, context.options, LISTING);
    command->callback([&context, &status] {
        const Request request = split_words(words);
        const std::vector<std::string>& files = request.files;
        const std::vector<std::uint32_t>& labels = request.labels;
        // Every spectrum of a large run is what dump is for.
        if (labels.empty() && !filter.any())
            throw CLI::RequiredError("LABEL (or a scan filter such as --scans or --rt)");
        const bool many = files.size() > 1;
        OutputFile out(output);
        const Format format = context.format(output);
        bool header = format == Format::TSV;
        bool spectrum_failed = false;
        FilterTally tally;
        status = each_file(context, files, [&](const std::string& file) {
            DataFile data(context.plugin(), file, context.event_printer(file));
            const auto& scans = context.open(data, {});
            std::vector<std::uint32_t> chosen;
            if (labels.empty()) {
                for (const auto& scan : scans)
                    if (filter.selects(scan))
                        chosen.push_back(scan.label);
                tally.judged += scans.size();
            } else {
                // A label the file lacks is fetched all the same, so that the
                // plug-in's sentence says why it failed.
                for (const std::uint32_t label : labels)
                    if (const auto* scan = data.find(label); !scan || filter.selects(*scan))
                        chosen.push_back(label);
                tally.judged += labels.size();
            }
            tally.passed += chosen.size();
            const std::string named = many ? file : std::string();
            for (const std::uint32_t label : chosen) {
                PAL::SmartPtr<orvoeng::Spectrum> spectrum;
                std::uint32_t under_floor = 0;
                std::size_t delivered = 0;
                try {
                    spectrum = data.spectrum(label);
                    under_floor = data.peaks_under_floor();
                    delivered = spectrum->peaks->size();
                    kept.apply_to(*spectrum);
                } catch (...) {
                    // One bad label does not hide the others' peaks.
                    context.note(context.failure_text(file, std::current_exception()));
                    spectrum_failed = true;
                    continue;
                }
                if (under_floor > 0 && !context.options.quiet)
                    context.note(fmt::format(
                        "{}: scan {}: the m/z floor left out {} of the {} the file gives",
                        std::filesystem::path(file).filename().string(), label,
                        counted(under_floor, "peak", "peaks"), delivered + under_floor));
                const auto& peaks = *spectrum->peaks;
                std::string text;
                if (format == Format::JSON) {
                    const orvoeng::ScanRecord* scan = data.find(label);
                    append_scan_json(text, *scan, spectrum.get(), data.scan_numbers(),
                                     data.scan_tags().of(scan->file_position), named);
                } else if (format == Format::TSV) {
                    // One header for the whole listing; peak values as short as exact.
                    if (header)
                        text += many ? "file\tlabel\tkind\tmz\tintensity\n"
                                     : "label\tkind\tmz\tintensity\n";
                    header = false;
                    const std::string head = fmt::format("{}{}\t{}\t", many ? file + "\t" : "",
                                                         label, peak_kind_text(*spectrum));
                    const auto write = single_precision(peaks) ? append_as_float : append_number;
                    for (const auto& peak : peaks) {
                        text += head;
                        write(text, peak.mz);
                        text.push_back('\t');
                        write(text, peak.intensity);
                        text.push_back('\n');
                    }
                } else {
                    text = fmt::format("{}scan {}: {}, {}\n", many ? file + ": " : "", label,
                                       peak_kind_text(*spectrum),
                                       counted(peaks.size(), "peak", "peaks"));
                    const auto writer = make_row_writer(format, {"mz", "intensity"});
                    const bool single = single_precision(peaks);
                    for (const auto& peak : peaks)
                        writer->row(single ? Row{static_cast<float>(peak.mz),
                                                 static_cast<float>(peak.intensity)}
                                           : Row{peak.mz, peak.intensity},
                                    text);
                    writer->finish(text);
                }
                out.write(text);
            }
        });
        if (spectrum_failed)
            status = 1;
        // A run that failed leaves an earlier file of that name as it was.
        out.finish(status == 0);
        if (filter.any())
            note_when_none_passed(context, tally);
    });
}

} // namespace orvohost::cli
