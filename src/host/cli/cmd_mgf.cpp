// orvo-host mgf FILE... [-o OUT.mgf]: MS2 spectra as an MGF peak list for
// database-search engines.
#include "context.h"
#include "feed_spectra.h"
#include "keep_going.h"

#include <host/output/listing.h>
#include <host/output/number_text.h>
#include <host/output/parallel_format.h>
#include <host/output/scan_cells.h>
#include <host/session/record_values.h>
#include <host/session/scan_tags.h>

#include <fmt/format.h>

#include <atomic>
#include <cstdlib>
#include <iterator>

namespace orvohost::cli {

namespace {

// TITLE follows the <stem>.<first>.<last>.<charge> form that search engines
// parse back into scan numbers and charge; an unknown charge leaves its
// field empty, as msconvert writes it. The scan numbers are the file's own,
// so that a hit names the scan in the file the person has. PEPMASS carries
// the precursor's intensity after its m/z where the file gives one; 0,
// which converters write for none, is left out as msconvert leaves it. CHARGE
// carries the ion's sign, which search engines take from it: a scan of
// negative polarity gives "2-".
void append_ions(std::string& out, const std::string& stem, const orvoeng::ScanRecord& scan,
                 const orvoeng::Spectrum& spectrum, const ScanNumbers& numbers,
                 const ScanTags& tags) {
    const auto charge = signed_charge(scan);
    const std::int64_t number = numbers.of(scan.file_position).value_or(scan.label);
    auto to = std::back_inserter(out);
    fmt::format_to(to, "BEGIN IONS\nTITLE={0}.{1}.{1}.", stem, number);
    if (charge)
        fmt::format_to(to, "{}", std::abs(*charge));
    fmt::format_to(to, "\nSCANS={}\nPEPMASS=", number);
    append_number(out, scan.precursor_mz);
    if (const auto intensity = tags.of(scan.file_position).precursor_intensity;
        intensity && *intensity > 0) {
        out.push_back(' ');
        append_number(out, *intensity);
    }
    if (charge)
        fmt::format_to(to, "\nCHARGE={}{}", std::abs(*charge), *charge < 0 ? '-' : '+');
    out += "\nRTINSECONDS=";
    append_number(out, scan.retention_time);
    out.push_back('\n');
    const auto& peaks = *spectrum.peaks;
    const bool single = single_precision(peaks);
    {
        NumberWriter lines(out, 2 * peaks.size(), 2 * peaks.size());
        lines.peak_lines(peaks.data(), peaks.size(), single);
    }
    out += "END IONS\n\n";
}

} // namespace

void add_mgf(CLI::App& app, Context& context, int& status) {
    auto* command =
        app.add_subcommand("mgf", "Write the MS2 spectra as an MGF peak list for search engines");
    static std::vector<std::string> files;
    static std::string output;
    static ScanFilter filter;
    static PeakFilter peaks;
    static KeepGoing keep_going("written", "writes");
    command->add_option("FILE", files, "mzXML files")->required();
    add_output_option(*command, output, "MGF file");
    keep_going.add_flag(*command);
    add_scan_filter(*command, filter, "2");
    add_peak_filter(*command, peaks);
    add_shared_options(*command, context.options, JOBS);
    command->callback([&context, &status] {
        if (filter.ms_levels.empty())
            filter.ms_levels = {{2, 2}};
        OutputFile out(output);
        std::atomic<std::uint64_t> judged{0};
        std::atomic<std::uint64_t> passed{0};
        status = run_files(
            context, files,
            keep_going.guard([&context, &judged, &passed](const std::filesystem::path& file,
                                                          FileResult& result) {
                DataFile data(context.plugin(), file, context.event_printer(file));
                const auto root = data.root_progress(2);
                const auto& scans = context.open(data, root);
                root->step(1);
                PAL::SmartPtr<PAL::Progress> node(
                    new PAL::Progress(root, static_cast<std::uint32_t>(scans.size()), 1));
                const std::string stem = file.stem().string();
                const ScanNumbers numbers = data.scan_numbers();
                // Not among the plug-in's records: read from the file it reads.
                const ScanTags tags = data.scan_tags();
                TextPipeline pipeline(
                    result.format_threads,
                    [&stem, &numbers, &tags](std::string& text, const orvoeng::ScanRecord& scan,
                                             const orvoeng::Spectrum* spectrum) {
                        append_ions(text, stem, scan, *spectrum, numbers, tags);
                    },
                    [&result](std::string& text) {
                        result.out += text;
                        result.pass_on();
                    });
                judged += scans.size();
                const SpectraFed fed = feed_spectra(
                    context, data, file, scans,
                    [](const orvoeng::ScanRecord& scan) { return filter.selects(scan); }, peaks,
                    *node, pipeline);
                passed += fed.taken;
                result.ok = result.ok && fed.all_read;
                pipeline.finish();
            }),
            out);
        // A run that failed leaves an earlier file of that name as it was;
        // with --keep-going the files that read are written all the same.
        out.finish(status == 0 || (keep_going.enabled() && keep_going.any_read()));
        keep_going.report(context);
        note_when_none_passed(context, {judged, passed});
    });
}

} // namespace orvohost::cli
