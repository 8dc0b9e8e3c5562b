// ProteoWizard's mzXML reader as a timing peer of read_bench. Built with the
// real reader only when CMake found Debian's libpwiz; otherwise every call
// says it was not measured. Only the time and the figures that prove the
// work was done leave this file.
#include <cstddef>
#include <string>

#ifdef READ_BENCH_PWIZ
#include <pwiz/data/msdata/MSDataFile.hpp>
#include <pwiz/data/msdata/Version.hpp>

#include "peak_checksum.h"

#include <algorithm>
#include <chrono>
#endif

namespace readbench {

// Declared again in read_bench.cpp: the two files share nothing else.
// False when the peer is not built in; otherwise reads every spectrum of
// `path` with its peaks and gives the seconds it took.
bool peer_read(const std::string& path, double& seconds, std::size_t& scans, std::size_t& peaks,
               double& checksum);
std::string peer_name();

#ifdef READ_BENCH_PWIZ

bool peer_read(const std::string& path, double& seconds, std::size_t& scans, std::size_t& peaks,
               double& checksum) {
    const auto start = std::chrono::steady_clock::now();
    scans = peaks = 0;
    checksum = 0.0;
    {
        pwiz::msdata::MSDataFile file(path);
        const pwiz::msdata::SpectrumListPtr& list = file.run.spectrumListPtr;
        scans = list ? list->size() : 0;
        for (std::size_t i = 0; i < scans; ++i) {
            // With its binary data arrays: the peaks decoded, as ours are.
            const pwiz::msdata::SpectrumPtr spectrum = list->spectrum(i, true);
            const auto mz = spectrum->getMZArray();
            const auto intensity = spectrum->getIntensityArray();
            if (!mz || !intensity)
                continue;
            const std::size_t count = std::min(mz->data.size(), intensity->data.size());
            peaks += count;
            checksum += peak_checksum(2 * count, [&](std::size_t v) {
                return (v & 1) != 0 ? intensity->data[v / 2] : mz->data[v / 2];
            });
        }
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

std::string peer_name() {
    return "ProteoWizard " + pwiz::msdata::Version::str();
}

#else

bool peer_read(const std::string&, double&, std::size_t&, std::size_t&, double&) {
    return false;
}

std::string peer_name() {
    return "ProteoWizard (libpwiz-dev not found when read_bench was built)";
}

#endif

} // namespace readbench
