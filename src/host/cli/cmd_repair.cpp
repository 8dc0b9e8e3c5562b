// orvo-host repair IN... (-o OUT | --suffix TEXT): writes for each file a
// copy the plug-in opens and lists completely, then reads the copy through
// the plug-in, every spectrum included, before it takes the target's name.
// The inputs are never changed.
#include "context.h"

#include <host/repair/repair.h>
#include <host/repair/repair_error.h>

#include <ds/messages.h>

#include <pal/exception.h>
#include <pal/progress.h>

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>

namespace orvohost::cli {

namespace {

struct RepairArgs {
    std::vector<std::string> files;
    std::string output;
    std::string suffix;
    std::string map;
};

// Spectra whose failures are named one by one; the rest are counted.
constexpr std::size_t NAMED_SCANS = 10;

std::filesystem::path target_of(const RepairArgs& args, const std::filesystem::path& input) {
    if (!args.suffix.empty()) {
        std::filesystem::path name = input.stem();
        name += args.suffix;
        name += input.extension();
        return input.parent_path() / name;
    }
    const std::filesystem::path output(args.output);
    std::error_code ignored;
    if (std::filesystem::is_directory(output, ignored))
        return output / input.filename();
    return output;
}

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    const bool same = std::filesystem::equivalent(a, b, error);
    return !error && same;
}

// Scans a reading thread takes at a time: enough to keep the hand-over
// rare, few enough that the threads finish together.
constexpr std::size_t SCANS_A_TURN = 1024;

// Fetches every spectrum of `scans` from `data`, a turn of SCANS_A_TURN at a
// time while `next` has turns left, and returns the positions of those that
// fail.
std::vector<std::uint32_t> fetch_turns(DataFile& data,
                                       const std::vector<orvoeng::ScanRecord>& scans,
                                       std::atomic<std::size_t>& next, std::uint32_t first_label) {
    std::vector<std::uint32_t> failed;
    for (std::size_t begin = next.fetch_add(SCANS_A_TURN); begin < scans.size();
         begin = next.fetch_add(SCANS_A_TURN)) {
        const std::size_t end = std::min(scans.size(), begin + SCANS_A_TURN);
        for (std::size_t i = begin; i < end; ++i) {
            try {
                data.spectrum(scans[i].label);
            } catch (const PAL::Exception&) {
                failed.push_back(scans[i].label - first_label + 1);
            }
        }
    }
    return failed;
}

// Reads the copy as an engine would: the listing, then every spectrum.
// With threads to spare, more sessions on the copy open it at the same time
// and share the spectra; the first one's listing and errors are those
// reported. Raises what the plug-in raises when the copy does not open.
std::string read_back(Context& context, const std::filesystem::path& copy) {
    EventHandler progress = context.event_printer(copy);
    EventHandler handler = [&](const PAL::Event& event) {
        if (event.kind == PAL::Event::PROGRESS_EVENT)
            progress(event);
    };
    // Whether the spectra are centroided is the person's call, not
    // something a repair can know: a copy that does not say is listed as
    // profile spectra, as every subcommand lists it.
    const ReadOptions options = context.read_options();
    // A session keeps two threads busy, its own and the plug-in's read-ahead,
    // and each extra one lists the file again: a few pay, more do not.
    constexpr unsigned MOST_SESSIONS = 4;
    const unsigned sessions = std::clamp(thread_budget(context.options) / 2, 1U, MOST_SESSIONS);
    context.plugin(); // loaded once, before the threads share it
    std::atomic<std::size_t> next{0};
    std::vector<std::vector<std::uint32_t>> failures(sessions);
    std::vector<std::jthread> helpers;
    for (unsigned s = 1; s < sessions; ++s)
        helpers.emplace_back([&, s] {
            try {
                DataFile data(context.plugin(), copy, [](const PAL::Event&) {});
                failures[s] = fetch_turns(data, data.open(options, {}), next, options.first_label);
            } catch (...) {
                // The first session meets the same failure and reports it;
                // the spectra this one would have read are left to the others.
            }
        });
    auto data = std::make_unique<DataFile>(context.plugin(), copy, handler);
    const std::vector<orvoeng::ScanRecord>* listed = nullptr;
    try {
        listed = &data->open(options, {});
    } catch (...) {
        next = std::numeric_limits<std::size_t>::max() / 2; // the others stop at once
        throw;
    }
    const std::vector<orvoeng::ScanRecord>& scans = *listed;
    failures[0] = fetch_turns(*data, scans, next, options.first_label);
    helpers.clear();
    std::vector<std::uint32_t> failed;
    for (const auto& some : failures)
        failed.insert(failed.end(), some.begin(), some.end());
    std::sort(failed.begin(), failed.end());
    if (failed.empty())
        return "every spectrum reads";
    std::string named;
    for (std::size_t i = 0; i < failed.size() && i < NAMED_SCANS; ++i)
        named += fmt::format("{}{}", i ? ", " : "", failed[i]);
    if (failed.size() > NAMED_SCANS)
        named += ", ...";
    return fmt::format("{} of {} spectra cannot be read (scan{} {})", failed.size(), scans.size(),
                       failed.size() == 1 ? "" : "s", named);
}

// Returns whether the copy was written and every spectrum in it reads.
bool repair_one(Context& context, const std::filesystem::path& input,
                const std::filesystem::path& target, OutputFile* map) {
    if (same_file(input, target) || input == target) {
        context.note(fmt::format("{}: not repaired: the copy would replace the file itself; "
                                 "give another -o or a --suffix",
                                 input.string()));
        return false;
    }
    try {
        repair::CopyWriter out(target);
        std::string rows;
        const repair::ScanMapSink sink = [&](std::uint64_t position, std::string_view num) {
            rows += fmt::format("{}\t{}\t{}\n", input.string(), position, num);
            map->write_when_full(rows);
        };
        const auto start = std::chrono::steady_clock::now();
        const repair::RepairReport report = repair::repair_file(
            input, out, map ? sink : repair::ScanMapSink{}, thread_budget(context.options));
        if (map)
            map->write(rows);
        const auto written = std::chrono::steady_clock::now();
        std::string reads;
        try {
            reads = read_back(context, out.temporary());
            if (context.options.verbose > 0) {
                const auto read = std::chrono::steady_clock::now();
                const std::chrono::duration<double> writing = written - start;
                const std::chrono::duration<double> reading = read - written;
                context.note(fmt::format(
                    "{}: {:.3f} s to write the copy ({:.0f} MB/s of input), "
                    "{:.3f} s to read it back",
                    input.string(), writing.count(),
                    static_cast<double>(report.bytes_in) / 1e6 / writing.count(), reading.count()));
            }
        } catch (...) {
            // The copy is read under its temporary name; the person knows it
            // by the name they gave.
            std::string why = context.failure_text({}, std::current_exception());
            const std::string temporary = out.temporary().string();
            for (std::size_t at = why.find(temporary); at != std::string::npos;
                 at = why.find(temporary, at + target.string().size()))
                why.replace(at, temporary.size(), target.string());
            context.note(fmt::format("{}: not repaired: the copy would still not be read: {}",
                                     input.string(), why));
            return false;
        }
        out.commit();
        fmt::print("{} -> {}: {}, {}\n", input.string(), target.string(), repair::describe(report),
                   reads);
        return reads == "every spectrum reads";
    } catch (const repair::RepairRefused& refusal) {
        context.note(fmt::format("{}: cannot be repaired: it {}", input.string(), refusal.what()));
    } catch (const repair::RepairIoError& error) {
        context.note(error.what());
    }
    return false;
}

int run_repair(Context& context, const RepairArgs& args) {
    if (args.output.empty() == args.suffix.empty())
        throw CLI::ValidationError("repair", "give either -o OUT or --suffix TEXT");
    std::error_code ignored;
    if (!args.output.empty() && args.files.size() > 1 &&
        !std::filesystem::is_directory(args.output, ignored))
        throw CLI::ValidationError("repair", "with several files, -o names an existing folder");
    std::unique_ptr<OutputFile> map;
    if (!args.map.empty()) {
        map = std::make_unique<OutputFile>(args.map);
        map->write("file\tposition\toriginal_num\n");
    }
    std::size_t repaired = 0;
    for (const auto& file : args.files) {
        if (repair_one(context, file, target_of(args, file), map.get()))
            ++repaired;
        std::fflush(stdout);
    }
    if (map)
        map->commit();
    if (args.files.size() > 1)
        context.note(fmt::format("{} of {} files repaired, {} not", repaired, args.files.size(),
                                 args.files.size() - repaired));
    return repaired == args.files.size() ? 0 : 1;
}

} // namespace

void add_repair(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "repair", "Write a copy of each file that the reader opens and lists completely");
    auto args = std::make_shared<RepairArgs>();
    command->add_option("FILE", args->files, "mzXML files (never changed)")->required();
    auto* output = command->add_option("-o,--output", args->output,
                                       "the copy; with several files, a folder to put them in");
    command
        ->add_option("--suffix", args->suffix,
                     "name each copy after its file with TEXT before the extension")
        ->excludes(output);
    command->add_option("--map", args->map,
                        "write each scan's position and original number to this file (TSV)");
    add_shared_options(*command, context.options, READS | JOBS);
    command->callback([&context, &status, args] { status = run_repair(context, *args); });
}

} // namespace orvohost::cli
