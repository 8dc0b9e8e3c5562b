// Every real mzXML file of the corpus, opened through the loaded plug-in:
// those expected to open are listed and every spectrum fetched; the others
// must end in the status code and message their expected outcome implies.
#include "plugin_host.h"

#include <set>

namespace {

using host::Failure;
using host::raises;

enum class Outcome { Lists, WalkFailsAtOne, NoIndex, NotRecognised, WrongSchema };

struct CorpusFile {
    const char* name;
    Outcome outcome;
    std::uint32_t scans = 0;        // Lists only
    bool states_centroiding = true; // Lists only
};

const std::vector<CorpusFile> corpus = {
    {"readmzxmldata__A1-0_A1.mzXML", Outcome::Lists, 1},
    {"msnbase__dummyiTRAQ.mzXML", Outcome::Lists, 5, false},
    {"openms__FileInfo_4_input.mzXML", Outcome::Lists, 20},
    {"openms__OpenSwathWorkflow_2_input.mzXML", Outcome::Lists, 114},
    {"openms__InspectOutfile_test_1.mzXML", Outcome::Lists, 4},
    {"openms__InspectOutfile_test_2.mzXML", Outcome::Lists, 4},
    {"openms-2008__Tutorial_FileIO.mzXML", Outcome::Lists, 3},
    {"openms-pyopenms__test.mzXML", Outcome::Lists, 1},
    {"pwiz__tiny.pwiz.mzXML", Outcome::WalkFailsAtOne},
    {"pwiz-examples__tiny.pwiz.mzXML", Outcome::WalkFailsAtOne},
    {"openms__MzXMLFile_1.mzXML", Outcome::WalkFailsAtOne},
    {"openms-pyopenms__test2.mzXML", Outcome::WalkFailsAtOne},
    {"pyteomics__test.mzXML", Outcome::NoIndex},
    {"mzxmljl__test96.mzXML", Outcome::NoIndex},
    {"openms__MzXMLFile_3_64bit.mzXML", Outcome::NoIndex},
    {"openms-pyopenms__test1.mzXML", Outcome::NoIndex},
    {"openms__MzXMLFile_2_minimal.mzXML", Outcome::NotRecognised},
    {"maldiquantforeign__tiny1.mzXML3.0.mzXML", Outcome::WrongSchema},
    {"mzxmljl__test64.mzXML", Outcome::WrongSchema},
};

Failure expected_failure(Outcome outcome, const std::wstring& path) {
    switch (outcome) {
    case Outcome::WalkFailsAtOne:
        return {0x8004081A, 0xC802001A, {L"1"}};
    case Outcome::NoIndex:
        return {0x80040802, 0xC8020003, {path, L"File corrupt. Unable to read/create index"}};
    case Outcome::NotRecognised:
        return {0x80040802, 0xC8020002, {path}};
    default:
        return {0x80040802,
                0xC8020003,
                {path, L"Document does not conform to version 2.0 of mzXML schema"}};
    }
}

class Corpus : public ::testing::TestWithParam<CorpusFile> {
protected:
    void SetUp() override {
        dir = fixture::corpus_dir();
        if (dir.empty())
            GTEST_SKIP() << "no corpus folder (../shared/corpus): real-file checks skipped";
    }
    std::filesystem::path dir;
};

TEST_P(Corpus, OpensAsItsExpectedOutcomeSays) {
    const CorpusFile& file = GetParam();
    const std::wstring path = (dir / file.name).wstring();
    auto source = host::create();
    const auto opts = host::options(file.states_centroiding ? 0 : 8);
    if (file.outcome != Outcome::Lists) {
        EXPECT_TRUE(raises([&] { source->open_file(path, 1, &opts, 1, {}, {}); },
                           expected_failure(file.outcome, path)));
        return;
    }
    const orvoeng::ScanList list = source->open_file(path, 1, &opts, 1, {}, {});
    ASSERT_EQ(list->size(), file.scans);
    EXPECT_EQ(source->get_scan_count(), file.scans);
    for (const auto& record : *list) {
        const auto spectrum = source->get_spectrum(record.label, 0, {});
        orvoeng::RawSpecInfo info;
        source->get_raw_spec_info(record.label, 0, info);
        EXPECT_EQ(info.peak_count, spectrum->peaks->size()) << record.label;
        for (const auto& peak : *spectrum->peaks) {
            ASSERT_GT(peak.mz, 1.0) << record.label;
        }
    }
    EXPECT_EQ(source->get_instrument_info().begin()->second, path);
}

INSTANTIATE_TEST_SUITE_P(RealFiles, Corpus, ::testing::ValuesIn(corpus), [](const auto& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

TEST(CorpusFolder, EveryFileHasAnExpectedOutcome) {
    const auto dir = fixture::corpus_dir();
    if (dir.empty())
        GTEST_SKIP() << "no corpus folder (../shared/corpus): real-file checks skipped";
    std::set<std::string> known;
    for (const auto& file : corpus)
        known.insert(file.name);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".mzXML") {
            EXPECT_TRUE(known.count(name)) << "no expected outcome for " << name;
        }
    }
}

} // namespace
