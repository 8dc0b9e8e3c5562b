#include "feed_spectra.h"

namespace orvohost::cli {

SpectraFed feed_spectra(Context& context, DataFile& data, const std::filesystem::path& file,
                        const std::vector<orvoeng::ScanRecord>& scans,
                        const std::function<bool(const orvoeng::ScanRecord&)>& selects,
                        const PeakFilter& peaks, PAL::Progress& progress, TextPipeline& pipeline) {
    SpectraFed fed;
    for (const auto& scan : scans) {
        progress.step(1);
        if (!selects(scan))
            continue;
        ++fed.taken;
        PAL::SmartPtr<orvoeng::Spectrum> spectrum;
        try {
            spectrum = data.spectrum(scan.label);
            peaks.apply_to(*spectrum);
        } catch (...) {
            context.note(context.failure_text(file, std::current_exception()));
            fed.all_read = false;
            continue;
        }
        pipeline.add(scan, std::move(spectrum));
    }
    return fed;
}

} // namespace orvohost::cli
