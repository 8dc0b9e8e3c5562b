#include "scan_reader.h"

#include <memory>

namespace fixture {

InstrumentRecord instrument_of(const std::string& tags) {
    ScanFile file({ScanSpec{}}, "<msInstrument>\n" + tags + "\n</msInstrument>\n");
    delete file.reader.read_instrument(); // each read starts from the top
    return *std::unique_ptr<InstrumentRecord>(file.reader.read_instrument());
}

// A detail without category is not read; Operator may lack either name.
TEST(Instrument, DetailsOverSeveralLinesAndOperator) {
    const InstrumentRecord r = instrument_of(
        "<msManufacturer category=\"msManufacturer\"\n value=\"Thermo\"/>\n<msModel value=\"X\"/>\n"
        "<msDetector category=\"x\" value=\"EMT\"/>\n<Operator first=\"A\" last=\"B\"/>");
    EXPECT_EQ(std::tie(r.manufacturer, r.model, r.detector, r.operator_name),
              std::tuple("Thermo", "", "EMT", "A B"));
    for (const auto& [tag, name] : {std::pair{"<Operator last=\"B\"/>", "B"},
                                    {"<Operator first=\"A\"/>", "A "},
                                    {"<operator first=\"A\" last=\"B\"/>", ""}})
        EXPECT_EQ(instrument_of(tag).operator_name, name) << tag;
}

// Element, found, centroided, stated, software name, completion time.
TEST(DataProcessing, Elements) {
    const std::tuple<const char*, bool, bool, bool, const char*, const char*> cases[] = {
        {"<dataProcessing centroided=\"1\">\n<software name=\"R\"\n completionTime=\"T\"/>", true,
         true, true, "R", "T"},
        {"<dataProcessing>\n<software name=\"S\"/>", true, false, false, "S", ""},
        {"<dataProcessing centroided=\"\">\n</dataProcessing>", true, false, true, "", ""},
        {"", false, false, false, "", ""}};
    for (const auto& [element, found, centroided, stated, software, time] : cases) {
        ScanFile file({ScanSpec{}}, element);
        delete file.reader.read_instrument(); // reads to the end: there is no msInstrument
        RecordingSocket events;
        DataProcessingRecord r{true, "old", "old"};
        EXPECT_EQ(file.reader.read_data_processing(r, events.socket), found) << element;
        EXPECT_EQ(std::tie(r.centroided, r.software_name, r.completionTime),
                  std::tuple(centroided, software, time));
        EXPECT_EQ(file.reader.centroid_info_complete({}), stated) << element;
        EXPECT_EQ(events.listener.events.size(), found ? 0u : 1u) << element;
        for (const auto& e : events.listener.events)
            EXPECT_EQ(std::tie(e.id, e.level, e.args),
                      std::tuple(msg::NO_DATA_PROCESSING.id, msg::NO_DATA_PROCESSING.level,
                                 std::vector<std::wstring>{L"dataProcessing"}));
    }
}

} // namespace fixture
