// orvo-host mzml FILE... (-o OUT | --suffix .mzML | --out-dir DIR): each
// file as indexed mzML 1.1, written as it is read, under a temporary name
// beside its target and renamed once whole (and, with --verify, read back
// and found equal to its source).
#include "context.h"
#include "keep_going.h"

#include <host/mzml/array_options.h>
#include <host/mzml/conversion.h>

#include <fmt/format.h>

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
    DataFile data(context.plugin(), file, context.event_printer(file));
    mzml::ConversionOptions options;
    options.arrays = args.arrays;
    options.filter = args.filter;
    options.peaks = args.peaks;
    options.verify = args.verify;
    options.format_threads = format_threads;
    options.reading = context.reading_options();
    const mzml::ConversionResult result = mzml::convert_to_mzml(
        data, target, options,
        [&context](DataFile& listed, const PAL::SmartPtr<PAL::Progress>& parent)
            -> const std::vector<orvoeng::ScanRecord>& { return context.open(listed, parent); });
    note_when_none_passed(context, {result.scans_listed, result.spectra}, file.string());
    if (result.verified)
        context.note(fmt::format("{}: verified: {} spectr{}, index and checksum", target.string(),
                                 result.spectra, result.spectra == 1 ? "um" : "a"));
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
