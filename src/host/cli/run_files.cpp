#include "context.h"

#include <fmt/format.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orvohost::cli {

namespace {

void run_one(Context& context, const FileJob& job, const std::string& file, FileResult& result) {
    try {
        job(file, result);
    } catch (...) {
        // The job's own output so far stays; the failure closes it.
        context.report_failure(file, std::current_exception());
        result.ok = false;
    }
}

} // namespace

int run_files(Context& context, const std::vector<std::string>& files, const FileJob& job,
              OutputFile& out) {
    std::vector<FileResult> results(files.size());
    std::vector<OrderedSlot> slots(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        slots[i].bind(out);
        results[i].slot = &slots[i];
        results[i].index = i;
    }
    std::vector<bool> done(files.size(), false);
    std::mutex lock;
    std::condition_variable finished;
    std::size_t printed = 0;
    // The bar of -j moves by bytes read, so that its rate is one over all files.
    std::vector<std::uint64_t> sizes(files.size(), 0);
    std::uint64_t total_bytes = 0;
    std::uint64_t done_bytes = 0;
    std::size_t finished_files = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::error_code unknown;
        sizes[i] = std::filesystem::file_size(files[i], unknown);
        sizes[i] = unknown ? 0 : sizes[i];
        total_bytes += sizes[i];
    }
    std::size_t failed = 0;
    std::exception_ptr write_failure;

    // Gives the next file in argument order its turn, and prints every
    // finished one up to the first that is still being read.
    auto print_ready = [&](std::unique_lock<std::mutex>&) {
        while (printed < files.size() && !write_failure) {
            // A failed write ends the command once every thread is done; a
            // worker thread cannot raise it.
            try {
                slots[printed].start_turn();
                if (!done[printed])
                    break;
                slots[printed].take(results[printed].out);
                out.flush();
            } catch (...) {
                write_failure = std::current_exception();
            }
            results[printed].out.shrink_to_fit();
            ++printed;
        }
    };
    {
        std::unique_lock<std::mutex> guard(lock);
        print_ready(guard);
    }

    const std::size_t budget = thread_budget(context.options);
    const std::size_t threads = std::min<std::size_t>(budget, files.size());
    // What the files read at once leave of the budget formats their text.
    for (auto& result : results)
        result.format_threads =
            static_cast<unsigned>(budget / std::max<std::size_t>(threads, 1) - 1);
    if (threads <= 1) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            run_one(context, job, files[i], results[i]);
            std::unique_lock<std::mutex> guard(lock);
            done[i] = true;
            failed += results[i].ok ? 0U : 1U;
            print_ready(guard);
            if (write_failure)
                std::rethrow_exception(write_failure);
        }
    } else {
        // Loaded once before the threads start: they share the one module.
        context.plugin();
        context.many_at_once = true;
        // The clock of the rate starts now, not when the first file is done.
        if (!context.options.quiet)
            context.progress().update(fmt::format("0 of {} files", files.size()), 0, total_bytes);
        std::atomic<std::size_t> next{0};
        std::vector<std::jthread> workers;
        for (std::size_t t = 0; t < threads; ++t)
            workers.emplace_back([&] {
                for (std::size_t i = next++; i < files.size(); i = next++) {
                    run_one(context, job, files[i], results[i]);
                    std::unique_lock<std::mutex> guard(lock);
                    done[i] = true;
                    failed += results[i].ok ? 0U : 1U;
                    print_ready(guard);
                    done_bytes += sizes[i];
                    ++finished_files;
                    const std::size_t share = total_bytes > 0 ? done_bytes * 100 / total_bytes
                                                              : finished_files * 100 / files.size();
                    if (!context.options.quiet)
                        context.progress().update(
                            fmt::format("{} of {} files", finished_files, files.size()),
                            static_cast<std::uint16_t>(share), total_bytes);
                }
            });
        workers.clear();
        context.progress().finish();
    }
    if (write_failure)
        std::rethrow_exception(write_failure);
    note_files_read(context, files.size(), failed);
    return failed == 0 ? 0 : 1;
}

void note_files_read(Context& context, std::size_t files, std::size_t failed) {
    // Quiet on success: a failure still names itself and the count.
    if (files > 1 && (!context.options.quiet || failed > 0))
        context.note(fmt::format("{} of {} files read, {} failed", files - failed, files, failed));
}

int each_file(Context& context, const std::vector<std::string>& files,
              const std::function<void(const std::string& file)>& read) {
    if (files.size() == 1) {
        read(files.front());
        return 0;
    }
    std::size_t failed = 0;
    for (const std::string& file : files) {
        try {
            read(file);
        } catch (const CLI::Error&) {
            throw;
        } catch (...) {
            context.report_failure(file, std::current_exception());
            ++failed;
        }
    }
    note_files_read(context, files.size(), failed);
    return failed == 0 ? 0 : 1;
}

CLI::App* add_files_command(CLI::App& app, Context& context, int& status, const std::string& name,
                            const std::string& description, unsigned takes,
                            void (*job)(Context&, const std::filesystem::path&, FileResult&)) {
    auto* command = app.add_subcommand(name, description);
    auto files = std::make_shared<std::vector<std::string>>();
    command->add_option("FILE", *files, "mzXML files")->required();
    add_shared_options(*command, context.options, takes | JOBS);
    command->callback([&context, &status, files, job] {
        OutputFile out("");
        status = run_files(
            context, *files,
            [&context, job](const std::filesystem::path& file, FileResult& result) {
                job(context, file, result);
            },
            out);
        out.commit();
    });
    return command;
}

} // namespace orvohost::cli
