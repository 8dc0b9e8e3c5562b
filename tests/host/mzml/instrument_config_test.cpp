// The instrument's words from an mzXML file turned into vocabulary terms,
// and a component list written only when all three components are known.
#include <host/mzml/instrument_config.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using namespace orvohost::mzml;

TEST(MzmlInstrumentConfig, WordsOfMzxmlFilesNameTheirTerms) {
    // The values real files carry (see the corpus), and ones no term fits.
    struct Case {
        std::optional<Cv> (*lookup)(std::string_view);
        const char* text;
        std::optional<Cv> term;
    } cases[] = {
        {ionisation_term, "ESI", Cv::ELECTROSPRAY},
        {ionisation_term, "electrospray ionization", Cv::ELECTROSPRAY},
        {ionisation_term, " NSI ", Cv::NANOELECTROSPRAY},
        {ionisation_term, "nanoelectrospray", Cv::NANOELECTROSPRAY},
        {ionisation_term, "MALDI", Cv::MALDI},
        {ionisation_term, "", std::nullopt},
        {ionisation_term, "EMT", std::nullopt}, // a detector's word
        {analyzer_term, "Ion Trap", Cv::ION_TRAP},
        {analyzer_term, "Quadrupole Ion Trap", Cv::QUADRUPOLE_ION_TRAP},
        {analyzer_term, "quadrupole", Cv::QUADRUPOLE},
        {analyzer_term, "TOF", Cv::TIME_OF_FLIGHT},
        {analyzer_term, "fourier transform ion cyclotron resonance mass spectrometer", Cv::FT_ICR},
        {analyzer_term, "IT-TOF", std::nullopt}, // two analyzers in one word
        {analyzer_term, "FTMS", std::nullopt},   // an orbitrap or an ICR cell
        {detector_term, "EMT", Cv::ELECTRON_MULTIPLIER},
        {detector_term, "electron multiplier", Cv::ELECTRON_MULTIPLIER},
        {detector_term, "Faraday Cup", Cv::FARADAY_CUP},
        {detector_term, "MCP", Cv::MICROCHANNEL_PLATE},
        {detector_term, "MS:1000026", std::nullopt},
        {detector_term, "unknown", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.lookup(c.text), c.term) << "'" << c.text << "'";
}

orvoeng::InstrumentInfo info(const wchar_t* analyzer, const wchar_t* ionisation,
                             const wchar_t* detector) {
    orvoeng::InstrumentInfo entries;
    entries.emplace(orvoeng::FileName, L"run.mzXML");
    entries.emplace(orvoeng::Instrument, L" Thermo Finnigan LCQ Deca ");
    entries.emplace(orvoeng::MassAnalyzer, analyzer);
    if (*ionisation)
        entries.emplace(orvoeng::Detail, std::wstring(L"Ionisation|") + ionisation);
    if (*detector)
        entries.emplace(orvoeng::Detail, std::wstring(L"Detector|") + detector);
    return entries;
}

TEST(MzmlInstrumentConfig, ComponentListOnlyWhenEveryComponentIsKnown) {
    const InstrumentDescription known = describe_instrument(info(L"TOF", L"MALDI", L"MCP"));
    EXPECT_EQ(known.model, "Thermo Finnigan LCQ Deca");
    EXPECT_EQ(known.source, Cv::MALDI);
    EXPECT_EQ(known.analyzer, Cv::TIME_OF_FLIGHT);
    EXPECT_EQ(known.detector, Cv::MICROCHANNEL_PLATE);
    std::string text;
    append_instrument_configurations(text, 0, known);
    EXPECT_NE(text.find("<componentList count=\"3\">"), std::string::npos) << text;
    const auto source = text.find("<source order=\"1\">");
    const auto analyzer = text.find("<analyzer order=\"2\">");
    const auto detector = text.find("<detector order=\"3\">");
    ASSERT_NE(detector, std::string::npos) << text;
    EXPECT_LT(source, analyzer);
    EXPECT_LT(analyzer, detector);
    EXPECT_NE(text.find("name=\"instrument model\" value=\"Thermo Finnigan LCQ Deca\""),
              std::string::npos);

    for (const auto& partial : {info(L"TOF", L"MALDI", L""), info(L"IT-TOF", L"ESI", L"EMT"),
                                info(L"TOF", L"", L"EMT")}) {
        const InstrumentDescription unknown = describe_instrument(partial);
        EXPECT_FALSE(unknown.has_components());
        std::string partial_text;
        append_instrument_configurations(partial_text, 0, unknown);
        EXPECT_EQ(partial_text.find("componentList"), std::string::npos) << partial_text;
        EXPECT_NE(partial_text.find("MS:1000031"), std::string::npos);
    }
}

} // namespace
