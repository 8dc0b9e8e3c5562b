// The sentences of the plug-in's failures: the cause the events and the
// path name, not the general reason the plug-in ends with.
#include <host/session/read_failure.h>

#include <ds/messages.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace msg = orvoeng::msg;

PAL::AppError refused(const wchar_t* reason) {
    return PAL::AppError(msg::FILE_REFUSED.code,
                         PAL::Message(msg::FILE_REFUSED_BECAUSE.id).add(L"run.mzXML").add(reason),
                         1, "test");
}

TEST(ReadFailure, TheMostSpecificCauseEndsTheSentence) {
    orvohost::HostCatalog catalog(ORVO_CATALOG_DIR);
    const auto file = std::filesystem::temp_directory_path() / "orvo-read-failure.mzXML";
    std::ofstream(file) << "<?xml version=\"1.0\"?>\n<mzXML>\n<msRun>\n";
    const PAL::AppError general = refused(L"File corrupt. Unable to read/create index");
    const auto with = [&](PAL::Message event) {
        return orvohost::ReadFailure(general, file, {std::move(event)});
    };
    const std::pair<orvohost::ReadFailure, std::string> cases[] = {
        // A failing disk: the system's reason, whatever else was posted.
        {with(PAL::Message(msg::READ_FAILED.id)
                  .add(file.wstring())
                  .add(L"Input/output error")
                  .add(5u)),
         "cannot be opened: reading it failed: Input/output error (system error 5)"},
        // The search stopped one past the declared count: more than it.
        {with(PAL::Message(msg::SCANS_FOUND_DIFFER.id).add(4u).add(3u)),
         "found more than 3 scans, but its msRun element declares scanCount=\"3\""},
        {with(PAL::Message(msg::SCANS_FOUND_DIFFER.id).add(2u).add(3u)), "found 2 scans, but"},
        // Nothing posted: the file's start says which tag is missing.
        {orvohost::ReadFailure(general, file, {}), "its <msRun> start tag has no attributes"},
        {orvohost::ReadFailure(general, file.string() + ".absent", {}), "it does not exist"},
    };
    for (const auto& [failure, words] : cases) {
        const std::string sentence = orvohost::failure_sentence(catalog, failure);
        EXPECT_NE(sentence.find(words), std::string::npos) << sentence;
        EXPECT_TRUE(sentence.ends_with("(status 0x80040802)")) << sentence;
        EXPECT_EQ(sentence.find("Unable to read/create index"), std::string::npos) << sentence;
    }
    EXPECT_TRUE(orvohost::read_failed(cases[0].first));
    EXPECT_FALSE(orvohost::read_failed(cases[1].first));
    EXPECT_FALSE(orvohost::read_failed(general));
    // A plain error keeps the catalog's sentence, named after the file given.
    const std::string plain = orvohost::failure_sentence(catalog, general, "other.mzXML");
    EXPECT_NE(plain.find("Unable to read/create index"), std::string::npos) << plain;
    std::filesystem::remove(file);
}

} // namespace
