// Writes small mzXML files with the tests' fixture writer into a folder, as
// seeds for fuzz_data_source: the shapes the reader's tests build (an index,
// none, a multi-line start tag, a precursor, 64-bit peaks, nested scans, no
// peaks), made at run time so that the project keeps no copies of them.
#include "support/mzxml_fixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_seeds DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const std::string head =
        "<msInstrument>\n<msManufacturer category=\"msManufacturer\" "
        "value=\"Orvo\"/>\n<msModel category=\"msModel\" value=\"T\"/>\n"
        "</msInstrument>\n<dataProcessing centroided=\"1\">\n<software "
        "type=\"conversion\" name=\"w\" completionTime=\"2026-01-02T03:04:05Z\""
        "/>\n</dataProcessing>\n";
    fixture::ScanSpec ms1;
    ms1.values = {100.5, 10, 200.25, 20, 300.125, 30};
    fixture::ScanSpec ms2 = ms1;
    ms2.ms_level = 2;
    ms2.precursor =
        "<precursorMz precursorIntensity=\"5\" precursorCharge=\"2\">200.25</precursorMz>";
    ms2.multi_line_start_tag = true;
    fixture::ScanSpec wide = ms1;
    wide.precision = 64;
    wide.polarity = "-";
    wide.retention_time = "PT2M";
    fixture::ScanSpec nested = ms1;
    nested.inner = fixture::MzXmlWriter::scan_element(ms2, 9);
    fixture::ScanSpec empty;
    empty.no_peaks_element = true;

    const auto document = [&](const std::vector<fixture::ScanSpec>& scans, bool indexed,
                              const std::string& schema = "mzXML_2.1") {
        fixture::MzXmlWriter writer(schema);
        writer.begin(static_cast<int>(scans.size())).text(head);
        for (const auto& scan : scans)
            writer.scan(scan);
        writer.end_run();
        return indexed ? writer.index().str() : writer.no_index().str();
    };
    const std::pair<const char*, std::string> files[] = {
        {"fixture_indexed.mzXML", document({ms1, ms2}, true)},
        {"fixture_no_index.mzXML", document({ms1, ms2, wide}, false)},
        {"fixture_nested.mzXML", document({nested, empty}, true, "mzXML_2.0")},
    };
    for (const auto& [name, bytes] : files)
        std::ofstream(dir / name, std::ios::binary) << bytes;
    std::printf("%zu seeds written to %s\n", std::size(files), dir.string().c_str());
    return 0;
}
