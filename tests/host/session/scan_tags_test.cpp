#include <host/session/scan_tags.h>

#include <support/mzxml_fixture.h>

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace orvohost;

// Scans whose tags fall anywhere in the file's read blocks: one tag starts
// `before_block` bytes before the first block's end, and so is cut there.
std::string scans_text(std::size_t before_block) {
    constexpr std::size_t BLOCK = 1 << 20;
    const std::string scan_2 = "<scan num=\"2\" msLevel=\"2\" peaksCount=\"2\">\n"
                               "<precursorMz precursorIntensity=\"20\">500</precursorMz>\n"
                               "<peaks>AAAA</peaks></scan>\n";
    std::string text = "<mzXML><msRun>\n<scan num=\"1\" msLevel=\"1\" peaksCount=\"1\">\n<peaks>";
    text += std::string(BLOCK - before_block - text.size() - 8, 'A');
    text += "</peaks>" + scan_2;
    // Nested as converters write MS2 under MS1: three precursors, of which
    // the last before the peaks is the one the record holds; a precursor
    // inside another element's peaks is none; scanOrigin is no scan.
    text += "<scan num=\"3\" msLevel=\"1\" peaksCount=\"3\"><scanOrigin "
            "num=\"9\"/>\n<peaks>BBBB</peaks>\n"
            "  <scan num=\"4\" msLevel=\"2\" peaksCount=\"4\">\n"
            "    <precursorMz precursorIntensity=\"1\">100</precursorMz>\n"
            "    <precursorMz precursorCharge=\"2\" precursorIntensity=\"3.5e4\"\n"
            "      activationMethod=\"ETD\"> 300.25 </precursorMz>\n"
            "    <peaks>CCCC</peaks>\n"
            "    <precursorMz precursorIntensity=\"99\">900</precursorMz>\n"
            "  </scan>\n"
            "  <scan num=\"5\" msLevel=\"2\" peaksCount=\"5\"><precursorMz "
            "precursorIntensity=\"x\">1</precursorMz>"
            "<peaks/></scan>\n"
            "</scan>\n</msRun></mzXML>\n";
    return text;
}

TEST(ScanTags, EachScanWithThePrecursorItsRecordHolds) {
    const fixture::TempDir dir;
    // Cut inside "<scan", inside its attributes, inside "<precursorMz",
    // inside its m/z, and whole.
    for (const std::size_t before : {3UL, 12UL, 30UL, 50UL, 70UL, 80UL, 81UL, 200UL}) {
        SCOPED_TRACE(before);
        const auto path = dir.write(fmt::format("cut{}.mzXML", before), scans_text(before));
        const ScanTags tags = read_scan_tags(path);
        for (const std::uint64_t position : {1U, 2U, 3U, 4U, 5U})
            EXPECT_EQ(tags.of(position).peaks_count, static_cast<std::int64_t>(position));
        EXPECT_EQ(tags.of(6).peaks_count, std::nullopt) << "scanOrigin is no scan";
        const std::vector<std::optional<double>> intensities{std::nullopt, 20, std::nullopt, 35000,
                                                             std::nullopt};
        for (std::uint64_t position = 1; position <= 5; ++position)
            EXPECT_EQ(tags.of(position).precursor_intensity, intensities[position - 1]) << position;
        // The m/z is the element's text; "1" after an intensity that is no
        // number is read all the same.
        const std::vector<std::optional<double>> mzs{std::nullopt, 500, std::nullopt, 300.25, 1};
        for (std::uint64_t position = 1; position <= 5; ++position)
            EXPECT_EQ(tags.of(position).precursor_mz, mzs[position - 1]) << position;
        EXPECT_EQ(tags.of(4).precursor_charge, 2);
        EXPECT_EQ(tags.of(2).precursor_charge, std::nullopt);
        EXPECT_EQ(tags.of(4).activation_method, "ETD");
        EXPECT_EQ(tags.of(2).activation_method, std::nullopt);
    }
}

} // namespace
