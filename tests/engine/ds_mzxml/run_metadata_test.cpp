#include "scan_reader.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using fixture::MzXmlWriter;
using fixture::ScanFile;

// A one-scan file with `metadata` between the msRun start tag and the scan.
MzXmlWriter file_with(const std::string& metadata) {
    MzXmlWriter writer;
    fixture::ScanSpec scan;
    scan.values = {100.0, 1.0};
    writer.begin(1).text(metadata).scan(scan).end_run().no_index();
    return writer;
}

std::unique_ptr<InstrumentRecord> instrument_of(const std::string& metadata) {
    ScanFile file(file_with(metadata));
    EXPECT_TRUE(file.opened);
    return std::unique_ptr<InstrumentRecord>(file.reader.read_instrument());
}

// ---- msInstrument -------------------------------------------------------------

TEST(Instrument, ElementOverSeveralLines) {
    const auto record =
        instrument_of("    <msInstrument>\n"
                      "      <msManufacturer category=\"msManufacturer\"\n"
                      "                      value=\"Thermo\"/>\n"
                      "      <msModel value=\"LCQ Deca\"/>\n"
                      "      <msIonisation category=\"msIonisation\" value=\"ESI\"/>\n"
                      "      <msMassAnalyzer category=\"msMassAnalyzer\" value=\"Ion Trap\"/>\n"
                      "      <msDetector category=\"msDetector\" value=\"EMT\"/>\n"
                      "      <software type=\"acquisition\" name=\"Xcalibur\" version=\"1.3\"/>\n"
                      "    </msInstrument>\n");
    EXPECT_EQ(record->manufacturer, "Thermo");
    EXPECT_EQ(record->model, "") << "a detail tag without category is not read";
    EXPECT_EQ(record->ionisation, "ESI");
    EXPECT_EQ(record->mass_analyzer, "Ion Trap");
    EXPECT_EQ(record->detector, "EMT");
    EXPECT_EQ(record->operator_name, "");
}

TEST(Instrument, OperatorNames) {
    const struct {
        const char* tag;
        const char* name;
    } cases[] = {
        {"<Operator first=\"Ada\" last=\"Lovelace\"/>", "Ada Lovelace"},
        {"<Operator last=\"Lovelace\"/>", "Lovelace"},
        {"<Operator first=\"Ada\"/>", "Ada "},
        {"<Operator first=\"\" last=\"\"/>", ""},
        {"<Operator/>", ""},
        {"<operator first=\"Ada\" last=\"Lovelace\"/>", ""}, // only Operator is read
    };
    for (const auto& c : cases) {
        const auto record = instrument_of(std::string("    <msInstrument>\n      ") + c.tag +
                                          "\n    </msInstrument>\n");
        EXPECT_EQ(record->operator_name, c.name) << c.tag;
    }
}

TEST(Instrument, NoElementGivesEmptyTexts) {
    const auto record = instrument_of("");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->manufacturer, "");
    EXPECT_EQ(record->model, "");
    EXPECT_EQ(record->operator_name, "");
}

// ---- dataProcessing ---------------------------------------------------------

struct Processing {
    bool found = false;
    DataProcessingRecord record;
    bool run_centroided_given = false;
};

Processing processing_of(const std::string& metadata, fixture::RecordingSocket& events) {
    ScanFile file(file_with(metadata));
    Processing out;
    // Left-overs of an earlier use must not survive.
    out.record.centroided = true;
    out.record.software_name = "old";
    out.record.completionTime = "old";
    out.found = file.reader.read_data_processing(out.record, events.socket);
    out.run_centroided_given = file.reader.run_centroided_given;
    return out;
}

TEST(DataProcessing, CentroidedWithSoftware) {
    fixture::RecordingSocket events;
    const auto p =
        processing_of("    <dataProcessing centroided=\"1\">\n"
                      "      <software type=\"conversion\" name=\"ReAdW\" version=\"4.3.1\"\n"
                      "                completionTime=\"2001-02-03T04:05:06\"/>\n"
                      "    </dataProcessing>\n",
                      events);
    EXPECT_TRUE(p.found);
    EXPECT_TRUE(p.record.centroided);
    EXPECT_TRUE(p.run_centroided_given);
    EXPECT_EQ(p.record.software_name, "ReAdW");
    EXPECT_EQ(p.record.completionTime, "2001-02-03T04:05:06");
    EXPECT_TRUE(events.listener.events.empty());
}

TEST(DataProcessing, WithoutCentroided) {
    fixture::RecordingSocket events;
    const auto p = processing_of("    <dataProcessing>\n"
                                 "      <software type=\"conversion\" name=\"mzStar\"/>\n"
                                 "    </dataProcessing>\n",
                                 events);
    EXPECT_TRUE(p.found);
    EXPECT_FALSE(p.record.centroided);
    EXPECT_FALSE(p.run_centroided_given);
    EXPECT_EQ(p.record.software_name, "mzStar");
    EXPECT_EQ(p.record.completionTime, "");
}

TEST(DataProcessing, NotTrueCentroidedIsStillGiven) {
    fixture::RecordingSocket events;
    const auto p = processing_of("    <dataProcessing centroided=\"\">\n"
                                 "    </dataProcessing>\n",
                                 events);
    EXPECT_TRUE(p.found);
    EXPECT_FALSE(p.record.centroided);
    EXPECT_TRUE(p.run_centroided_given);
}

TEST(DataProcessing, WithoutSoftware) {
    fixture::RecordingSocket events;
    const auto p = processing_of("    <dataProcessing centroided=\"0\">\n"
                                 "      <processingOperation name=\"x\"/>\n"
                                 "    </dataProcessing>\n",
                                 events);
    EXPECT_TRUE(p.found);
    EXPECT_EQ(p.record.software_name, "");
    EXPECT_EQ(p.record.completionTime, "");
}

TEST(DataProcessing, MissingElementIsReported) {
    fixture::RecordingSocket events;
    const auto p = processing_of("", events);
    EXPECT_FALSE(p.found);
    EXPECT_FALSE(p.record.centroided);
    EXPECT_EQ(p.record.software_name, "");
    EXPECT_EQ(p.record.completionTime, "");
    const auto posted = events.listener.with_id(0x4C0336B8);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].level, 5u);
    EXPECT_EQ(posted[0].args, std::vector<std::wstring>{L"dataProcessing"});
}

// Each read starts from the top, wherever the file was left.
TEST(RunMetadata, ReadAfreshAfterOtherReads) {
    ScanFile file(file_with("    <msInstrument>\n"
                            "      <msModel category=\"msModel\" value=\"X\"/>\n"
                            "    </msInstrument>\n"
                            "    <dataProcessing centroided=\"1\"/>\n"));
    for (int round = 0; round < 2; ++round) {
        ScanHeader header;
        ASSERT_TRUE(file.reader.read_scan_header(1, header));
        DataProcessingRecord record;
        EXPECT_TRUE(file.reader.read_data_processing(record, {}));
        EXPECT_TRUE(record.centroided);
        const std::unique_ptr<InstrumentRecord> instrument(file.reader.read_instrument());
        EXPECT_EQ(instrument->model, "X");
    }
    EXPECT_TRUE(file.reader.centroid_info_complete({}));
}

} // namespace
