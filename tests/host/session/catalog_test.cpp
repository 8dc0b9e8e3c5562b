// The host's catalog: every identifier of the shared table has a text, and
// arguments land where the text's markers stand.
#include <host/session/catalog.h>

#include <ds/messages.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(HostCatalog, EveryIdentifierOfTheTableHasAnEnglishText) {
    // British and US English have files; German falls back to British.
    for (const char* language : {"en_GB.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"}) {
        fixture::ScopedEnv all("LC_ALL", language);
        orvohost::HostCatalog catalog(ORVO_CATALOG_DIR);
        for (const auto& def : orvoeng::msg::ALL) {
            const std::wstring text = catalog.message_text(def.id);
            EXPECT_EQ(text.find(L"not found in the catalog"), std::wstring::npos)
                << language << " " << def.name;
            EXPECT_FALSE(text.empty()) << def.name;
        }
    }
}

TEST(HostCatalog, ArgumentsReplaceTheirMarkers) {
    const std::vector<std::wstring> args{L"a.mzXML", L"why", L"3", L"4", L"5",
                                         L"6",       L"7",   L"8", L"9", L"ten"};
    const std::vector<std::pair<std::wstring, std::wstring>> cases{
        {L"%1 cannot be opened: %2.", L"a.mzXML cannot be opened: why."},
        {L"%2%1", L"whya.mzXML"},
        {L"100%% of %10", L"100% of ten"},
        {L"%11 and %0 stay", L"%11 and %0 stay"}, // no such argument
        {L"ends in %", L"ends in %"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(orvohost::insert_arguments(text, args), expected) << std::wstring(text).size();
}

TEST(HostCatalog, ASentenceCarriesItsArguments) {
    orvohost::HostCatalog catalog(ORVO_CATALOG_DIR);
    PAL::Message message(orvoeng::msg::BAD_SCAN_HEADER.id);
    message.add(7u, 0, 10, true);
    const std::string sentence = catalog.sentence(message);
    EXPECT_NE(sentence.find("position 7"), std::string::npos) << sentence;
    EXPECT_EQ(sentence.find('%'), std::string::npos) << sentence;
}

} // namespace
