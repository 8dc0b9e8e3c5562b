#include "scan_reader.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace fixture;

// A one-scan file with `metadata` between the msRun start tag and the scan.
MzXmlWriter file_with(const std::string& metadata) {
    MzXmlWriter writer;
    writer.begin(1).text(metadata).scan({}).end_run().no_index();
    return writer;
}

InstrumentRecord instrument_of(const std::string& element) {
    ScanFile file(file_with(element));
    const std::unique_ptr<InstrumentRecord> record(file.reader.read_instrument());
    return *record;
}

TEST(Instrument, DetailsOverSeveralLines) {
    const InstrumentRecord r = instrument_of(
        "<msInstrument>\n  <msManufacturer category=\"msManufacturer\"\n    value=\"Thermo\"/>\n"
        "  <msModel value=\"LCQ\"/>\n  <msIonisation category=\"x\" value=\"ESI\"/>\n"
        "  <msMassAnalyzer category=\"x\" value=\"Ion Trap\"/>\n"
        "  <msDetector category=\"x\" value=\"EMT\"/>\n</msInstrument>\n");
    EXPECT_EQ(r.manufacturer, "Thermo");
    EXPECT_EQ(r.model, "") << "no category";
    EXPECT_EQ(r.ionisation, "ESI");
    EXPECT_EQ(r.mass_analyzer, "Ion Trap");
    EXPECT_EQ(r.detector, "EMT");
    EXPECT_EQ(instrument_of("").manufacturer, "") << "no element";
}

TEST(Instrument, OperatorNames) {
    for (const auto& [tag, name] :
         {std::pair{"<Operator first=\"Ada\" last=\"Byron\"/>", "Ada Byron"},
          std::pair{"<Operator last=\"Byron\"/>", "Byron"},
          std::pair{"<Operator first=\"Ada\"/>", "Ada "}, std::pair{"<Operator/>", ""},
          std::pair{"<operator first=\"Ada\" last=\"Byron\"/>", ""}})
        EXPECT_EQ(instrument_of(std::string("<msInstrument>\n") + tag + "\n</msInstrument>\n")
                      .operator_name,
                  name)
            << tag;
}

TEST(DataProcessing, Elements) {
    const struct {
        const char* element;
        bool found, centroided, given;
        const char* software;
        const char* time;
    } cases[] = {
        {"<dataProcessing centroided=\"1\">\n  <software type=\"conversion\" name=\"ReAdW\"\n"
         "    completionTime=\"2001-02-03T04:05:06\"/>\n</dataProcessing>\n",
         true, true, true, "ReAdW", "2001-02-03T04:05:06"},
        {"<dataProcessing>\n  <software name=\"mzStar\"/>\n</dataProcessing>\n", true, false, false,
         "mzStar", ""},
        {"<dataProcessing centroided=\"\">\n  <x/>\n</dataProcessing>\n", true, false, true, "",
         ""},
        {"", false, false, false, "", ""},
    };
    for (const auto& c : cases) {
        ScanFile file(file_with(c.element));
        RecordingSocket events;
        DataProcessingRecord record{true, "old", "old"};
        EXPECT_EQ(file.reader.read_data_processing(record, events.socket), c.found) << c.element;
        EXPECT_EQ(record.centroided, c.centroided) << c.element;
        EXPECT_EQ(file.reader.run_centroided_given, c.given) << c.element;
        EXPECT_EQ(record.software_name, c.software) << c.element;
        EXPECT_EQ(record.completionTime, c.time) << c.element;
        EXPECT_EQ(file.reader.centroid_info_complete({}), c.given) << c.element;
        const auto missing = events.listener.with_id(0x4C0336B8);
        ASSERT_EQ(missing.size(), c.found ? 0u : 1u) << c.element;
        if (!c.found) {
            EXPECT_EQ(missing[0].level, 5u);
            EXPECT_EQ(missing[0].args, std::vector<std::wstring>{L"dataProcessing"});
        }
    }
}

// Each read starts from the top, wherever an earlier read left the file.
TEST(RunMetadata, ReadAfreshAfterOtherReads) {
    ScanFile file(file_with("<msInstrument>\n<msModel category=\"m\" value=\"X\"/>\n"
                            "</msInstrument>\n<dataProcessing centroided=\"1\"/>\n"));
    for (int round = 0; round < 2; ++round) {
        ScanHeader header;
        ASSERT_TRUE(file.reader.read_scan_header(1, header));
        DataProcessingRecord record;
        EXPECT_TRUE(file.reader.read_data_processing(record, {}));
        EXPECT_EQ(std::unique_ptr<InstrumentRecord>(file.reader.read_instrument())->model, "X");
    }
}

} // namespace
