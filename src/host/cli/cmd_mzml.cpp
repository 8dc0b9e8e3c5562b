// orvo-host mzml FILE... (-o OUT | --suffix .mzML | --out-dir DIR): each
// file as indexed mzML 1.1, written as it is read, under a temporary name
// beside its target and renamed once whole (and, with --verify, read back
// and found equal to its source).
#include "context.h"
#include "keep_going.h"

#include <host/base/host_error.h>
#include <host/mzml/array_options.h>
#include <host/mzml/file_sha1.h>
#include <host/mzml/instrument_config.h>
#include <host/mzml/mzml_document.h>
#include <host/mzml/mzml_error.h>
#include <host/mzml/run_head.h>
#include <host/mzml/spectrum_selection.h>
#include <host/mzml/verify.h>
#include <host/output/parallel_format.h>

#include <fmt/format.h>

#include <future>
#include <map>
#include <memory>
#include <system_error>

namespace orvohost::cli {

namespace {

struct MzmlArgs {
    std::vector<std::string> files;
    std::string output;
    std::string suffix;
    std::string out_dir;
    std::string mz_precision;
    std::vector<std::string> numpress;
    bool zlib = false;
    bool verify = false;
    KeepGoing keep_going{"converted", "converts"};
    ScanFilter filter;
    PeakFilter peaks;

    std::vector<std::filesystem::path> targets;
    mzml::ArrayOptions arrays;
};

constexpr const char* DEFAULT_SUFFIX = ".mzML";

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    const bool same = std::filesystem::equivalent(a, b, error);
    return !error && same;
}

// Each file's target, or a usage error that says why there is none.
std::vector<std::filesystem::path> targets_of(const MzmlArgs& args) {
    const bool named = !args.output.empty();
    if (!named && args.suffix.empty() && args.out_dir.empty())
        throw CLI::ValidationError("mzml", "give -o OUT, --suffix .mzML or --out-dir DIR");
    if (named && args.files.size() > 1)
        throw CLI::ValidationError(
            "mzml", "-o names one output; with several files give --suffix or --out-dir");
    std::error_code ignored;
    if (!args.out_dir.empty() && !std::filesystem::is_directory(args.out_dir, ignored))
        throw CLI::ValidationError("mzml",
                                   fmt::format("--out-dir {} is not a folder", args.out_dir));
    if (args.verify && (args.output == "-" || args.output == "/dev/stdout"))
        throw CLI::ValidationError("mzml", "--verify reads the written file back: it needs a "
                                           "file, not standard output");
    std::vector<std::filesystem::path> targets;
    std::map<std::filesystem::path, std::string> taken;
    for (const auto& file : args.files) {
        const std::filesystem::path input(file);
        std::filesystem::path target;
        if (named) {
            target = args.output;
        } else {
            std::filesystem::path name = input.stem();
            name += args.suffix.empty() ? DEFAULT_SUFFIX : args.suffix;
            const std::filesystem::path folder =
                args.out_dir.empty() ? input.parent_path() : std::filesystem::path(args.out_dir);
            target = folder / name;
        }
        const auto key = std::filesystem::absolute(target, ignored).lexically_normal();
        if (const auto [at, fresh] = taken.emplace(key, file); !fresh)
            throw CLI::ValidationError("mzml", fmt::format("{} and {} would both be written to {}",
                                                           at->second, file, target.string()));
        targets.push_back(std::move(target));
    }
    return targets;
}

mzml::ArrayOptions array_options(const MzmlArgs& args) {
    mzml::ArrayOptions arrays;
    arrays.zlib = args.zlib;
    arrays.mz_wide = args.mz_precision == "64";
    for (const auto& kind : args.numpress) {
        if (kind == "linear") {
            arrays.mz_numpress = mzml::Numpress::LINEAR;
            continue;
        }
        const auto wanted = kind == "pic" ? mzml::Numpress::PIC : mzml::Numpress::SLOF;
        if (arrays.intensity_numpress != mzml::Numpress::NONE &&
            arrays.intensity_numpress != wanted)
            throw CLI::ValidationError("--numpress",
                                       "pic and slof both pack intensities; give one of them");
        arrays.intensity_numpress = wanted;
    }
    return arrays;
}

void convert(Context& context, MzmlArgs& args, const std::filesystem::path& file,
             const std::filesystem::path& target, unsigned format_threads) {
    if (same_file(file, target) || file == target)
        throw HostError(fmt::format("{}: not converted: the output would replace the file itself",
                                    file.string()));
    DataFile data(context.plugin(), file, context.event_printer(file));
    // The source's digest heads the output: it is taken while the plug-in
    // lists the file, both reading from the same page cache.
    std::future<std::string> digest =
        std::async(std::launch::async, [file] { return mzml::file_sha1(file); });
    mzml::InstrumentDescription instrument;
    try {
        instrument = mzml::describe_instrument(data.peek(context.reading_options()).instrument);
    } catch (...) {
        // No run information: the instrument stays unknown, and a file that
        // cannot be read at all says why when it is listed.
    }
    const auto root = data.root_progress(args.verify ? 3 : 2);
    const auto& scans = context.open(data, root);
    root->step(1);
    const mzml::SpectrumSelection selection(
        scans, [&args](const orvoeng::ScanRecord& scan) { return args.filter.selects(scan); },
        data.scan_numbers());
    note_when_none_passed(context, {scans.size(), selection.size()}, file.string());

    mzml::RunHead head;
    head.source = file;
    head.source_sha1 = digest.get();
    head.instrument = std::move(instrument);
    head.has_ms1 = selection.has_ms1();
    head.has_msn = selection.has_msn();
    head.spectrum_count = selection.size();

    OutputFile out(target.string());
    mzml::MzmlDocument document([&out](std::string_view text) { out.write(text); }, selection,
                                args.arrays, args.peaks.any());
    document.write_head(head);
    {
        PAL::SmartPtr<PAL::Progress> node(
            new PAL::Progress(root, static_cast<std::uint32_t>(selection.size()), 1));
        TextPipeline pipeline(
            format_threads,
            [&document, &selection](std::string& text, const orvoeng::ScanRecord& scan,
                                    const orvoeng::Spectrum* spectrum) {
                document.format_spectrum(text, *selection.index_of(scan), *spectrum);
            },
            [&document](std::string& text) { document.write_spectra(text); });
        for (std::size_t i = 0; i < selection.size(); ++i) {
            node->step(1);
            const orvoeng::ScanRecord& scan = selection.scan(i);
            // A spectrum that cannot be read fails the file: the list has
            // stated its count.
            PAL::SmartPtr<orvoeng::Spectrum> spectrum = data.spectrum(scan.label);
            args.peaks.apply_to(*spectrum);
            pipeline.add(scan, std::move(spectrum));
        }
        pipeline.finish();
    }
    document.write_tail();
    out.flush();

    if (args.verify) {
        const std::filesystem::path written = out.written_path();
        if (written.empty())
            throw HostError(fmt::format("{}: cannot be read back to verify it: it is no regular "
                                        "file",
                                        target.string()));
        root->step(1);
        PAL::SmartPtr<PAL::Progress> node(
            new PAL::Progress(root, static_cast<std::uint32_t>(selection.size()), 1));
        const mzml::VerifySource source{selection,
                                        [&](std::size_t index) {
                                            node->step(1);
                                            auto spectrum =
                                                data.spectrum(selection.scan(index).label);
                                            args.peaks.apply_to(*spectrum);
                                            return spectrum;
                                        },
                                        args.peaks.any()};
        try {
            const std::size_t checked = mzml::verify_mzml(written, source);
            out.commit();
            context.note(fmt::format("{}: verified: {} spectr{}, index and checksum",
                                     target.string(), checked, checked == 1 ? "um" : "a"));
            return;
        } catch (const mzml::MzmlVerifyError& error) {
            // The message names the temporary file; the person knows the target.
            std::string what = error.what();
            const std::string temporary = written.string();
            if (const auto at = what.find(temporary); at != std::string::npos)
                what.replace(at, temporary.size(), target.string());
            throw HostError(fmt::format("{} (not written)", what));
        }
    }
    out.commit();
}

} // namespace

void add_mzml(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "mzml", "Write each file as indexed mzML 1.1 (spectra, a TIC chromatogram, the index "
                "and a checksum)");
    auto args = std::make_shared<MzmlArgs>();
    command->add_option("FILE", args->files, "mzXML files")->required();
    auto* output = command->add_option(
        "-o,--output", args->output,
        "the mzML file to write, for one FILE (- for standard output); written whole or not at "
        "all");
    command
        ->add_option("--suffix", args->suffix,
                     "name each output after its file, this in place of the extension "
                     "(default .mzML with --out-dir)")
        ->excludes(output);
    command->add_option("--out-dir", args->out_dir, "write the outputs into this folder")
        ->excludes(output);
    command
        ->add_option("--mz-precision", args->mz_precision,
                     "64: m/z as 64-bit floats even where the file's are 32-bit (default: as "
                     "the file)")
        ->check(CLI::IsMember({"64"}));
    command->add_flag("--zlib", args->zlib, "compress every array with zlib");
    command
        ->add_option("--numpress", args->numpress,
                     "MS-Numpress, lossy: linear for m/z and times, pic or slof for intensities "
                     "(a list: linear,slof)")
        ->delimiter(',')
        ->check(CLI::IsMember({"linear", "pic", "slof"}));
    command->add_flag("--verify", args->verify,
                      "read each written file back and hold every spectrum, index offset and the "
                      "checksum against the source before it takes its name");
    args->keep_going.add_flag(*command);
    add_scan_filter(*command, args->filter);
    add_peak_filter(*command, args->peaks);
    add_shared_options(*command, context.options, JOBS);
    command->callback([&context, &status, args] {
        args->targets = targets_of(*args);
        args->arrays = array_options(*args);
        OutputFile out("");
        status = run_files(
            context, args->files,
            args->keep_going.guard([&context, args](const std::filesystem::path& file,
                                                    FileResult& result) {
                convert(context, *args, file, args->targets[result.index], result.format_threads);
            }),
            out);
        out.commit();
        args->keep_going.report(context);
    });
}

} // namespace orvohost::cli
