// orvo-mkmzxml: writes synthetic mzXML 2.1 files, as large as asked and the
// same bytes for the same options, to feed the reader, the host and the
// benchmarks with data of any size.
#include "counted_output.h"
#include "mzxml_document.h"
#include "options.h"
#include "run_plan.h"

#include <host/cli/doc/cli_doc.h>

#include <chrono>
#include <cstdio>
#include <exception>

namespace {

constexpr int EXIT_IO = 1;
constexpr int EXIT_USAGE = 2;

int fail(int code, const char* what) {
    std::fprintf(stderr, "orvo-mkmzxml: %s\n", what);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    using namespace mkmzxml;
    const auto started = std::chrono::steady_clock::now();
    CommandLine command_line;
    if (const auto written =
            orvocli::write_requested(argc, argv, command_line.app(), "orvo " ORVO_VERSION))
        return *written;
    try {
        const Options options = command_line.parse(argc, argv);
        const RunPlan plan = plan_run(options);
        OutputFile out(options.output, options.sha1);
        write_document(options, plan, out);
        const std::uint64_t bytes = out.position();
        out.close();
        if (options.verbose) {
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
            std::printf("%u scans, %llu bytes, %.3f s\n", plan.scans,
                        static_cast<unsigned long long>(bytes), took.count());
        }
        return 0;
    } catch (const CLI::Success& done) {
        return command_line.app().exit(done);
    } catch (const UsageError& error) {
        return fail(EXIT_USAGE, error.what());
    } catch (const IoError& error) {
        return fail(EXIT_IO, error.what());
    } catch (const std::exception& error) {
        return fail(EXIT_IO, error.what());
    }
}
