#include "conversion.h"

#include "file_sha1.h"
#include "instrument_config.h"
#include "mzml_document.h"
#include "mzml_error.h"
#include "run_head.h"
#include "spectrum_selection.h"
#include "verify.h"

#include <host/base/hex.h>
#include <host/base/host_error.h>
#include <host/output/output_file.h>
#include <host/output/parallel_format.h>

#include <nettle/sha1.h>

#include <fmt/format.h>

#include <future>
#include <system_error>

namespace orvohost::mzml {

namespace {

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    const bool same = std::filesystem::equivalent(a, b, error);
    return !error && same;
}

// The SHA-1 of every byte handed on.
class WholeHash {
public:
    WholeHash() { sha1_init(&hash); }
    void add(std::string_view text) {
        sha1_update(&hash, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
    }
    std::string digest() {
        std::uint8_t bytes[SHA1_DIGEST_SIZE];
        sha1_digest(&hash, SHA1_DIGEST_SIZE, bytes);
        return hex(bytes, SHA1_DIGEST_SIZE);
    }

private:
    sha1_ctx hash{};
};

void verify_written(DataFile& data, OutputFile& out, const std::filesystem::path& target,
                    const SpectrumSelection& selection, const ConversionOptions& options,
                    const PAL::SmartPtr<PAL::Progress>& root) {
    const std::filesystem::path written = out.written_path();
    if (written.empty())
        throw HostError(fmt::format("{}: cannot be read back to verify it: it is no regular file",
                                    target.string()));
    root->step(1);
    PAL::SmartPtr<PAL::Progress> node(
        new PAL::Progress(root, static_cast<std::uint32_t>(selection.size()), 1));
    const VerifySource source{selection,
                              [&](std::size_t index) {
                                  node->step(1);
                                  auto spectrum = data.spectrum(selection.scan(index).label);
                                  options.peaks.apply_to(*spectrum);
                                  return spectrum;
                              },
                              options.peaks.any()};
    try {
        verify_mzml(written, source);
    } catch (const MzmlVerifyError& error) {
        // The message names the temporary file; the person knows the target.
        std::string what = error.what();
        const std::string temporary = written.string();
        if (const auto at = what.find(temporary); at != std::string::npos)
            what.replace(at, temporary.size(), target.string());
        throw HostError(fmt::format("{} (not written)", what));
    }
}

} // namespace

ConversionResult convert_to_mzml(DataFile& data, const std::filesystem::path& target,
                                 const ConversionOptions& options, const ListFile& list) {
    const std::filesystem::path& file = data.path();
    if (same_file(file, target) || file == target)
        throw HostError(fmt::format("{}: not converted: the output would replace the file itself",
                                    file.string()));
    // The source's digest heads the output: it is taken while the plug-in
    // lists the file, both reading from the same page cache.
    std::future<std::string> digest =
        std::async(std::launch::async, [file] { return file_sha1(file); });
    InstrumentDescription instrument;
    try {
        instrument = describe_instrument(data.peek(options.reading).instrument);
    } catch (...) {
        // No run information: the instrument stays unknown, and a file that
        // cannot be read at all says why when it is listed.
    }
    const auto root = data.root_progress(options.verify ? 3 : 2);
    const auto& scans = list(data, root);
    root->step(1);
    const SpectrumSelection selection(
        scans, [&options](const orvoeng::ScanRecord& scan) { return options.filter.selects(scan); },
        data.scan_numbers(), data.scan_tags());

    ConversionResult result;
    result.scans_listed = scans.size();
    RunHead head;
    head.source = file;
    head.source_sha1 = digest.get();
    head.instrument = std::move(instrument);
    head.has_ms1 = selection.has_ms1();
    head.has_msn = selection.has_msn();
    head.spectrum_count = selection.size();
    result.source_sha1 = head.source_sha1;

    OutputFile out(target.string());
    std::optional<WholeHash> whole;
    if (options.hash_output)
        whole.emplace();
    MzmlDocument document(
        [&out, &whole](std::string_view text) {
            out.write(text);
            if (whole)
                whole->add(text);
        },
        selection, options.arrays, options.peaks.any());
    document.write_head(head);
    {
        PAL::SmartPtr<PAL::Progress> node(
            new PAL::Progress(root, static_cast<std::uint32_t>(selection.size()), 1));
        TextPipeline pipeline(
            options.format_threads,
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
            options.peaks.apply_to(*spectrum);
            pipeline.add(scan, std::move(spectrum));
        }
        pipeline.finish();
    }
    document.write_tail();
    out.flush();
    result.spectra = document.spectra_written();
    result.bytes = document.size();
    result.checksum = document.checksum();
    if (whole)
        result.sha1 = whole->digest();

    if (options.verify) {
        verify_written(data, out, target, selection, options, root);
        result.verified = true;
    }
    out.commit();
    return result;
}

} // namespace orvohost::mzml
