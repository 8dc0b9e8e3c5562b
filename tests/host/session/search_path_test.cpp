// Where a host finds the plug-in and the catalogs when it is not told: from
// the platform library's folder, the installed place first, else the build
// tree's. Here, in the build tree, only the second can exist; the
// installed case is what scripts/check-package.sh runs.
#include <host/session/catalog.h>
#include <host/session/plugin.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(SearchPath, TheFirstExistingCandidateElseTheFirst) {
    const fs::path folder = fs::temp_directory_path() / "orvo_search_path_test";
    fs::create_directories(folder / "present");
    std::ofstream(folder / "file") << "x";
    const struct {
        std::initializer_list<fs::path> candidates;
        fs::path expected;
    } cases[] = {
        {{folder / "absent", folder / "present"}, folder / "present"},
        {{folder / "file", folder / "present"}, folder / "file"},
        {{folder / "absent", folder / "also-absent"}, folder / "absent"},
        {{}, fs::path()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orvohost::first_existing(c.candidates), c.expected);
    fs::remove_all(folder);
}

TEST(SearchPath, TheBuildTreeFindsItsOwnPlugInAndCatalogs) {
    // This program links the build's platform library, in build/lib (in
    // build/bin on Windows, beside the programs).
    EXPECT_TRUE(
        fs::equivalent(orvohost::platform_library_dir(), fs::path(ORVO_PAL_PATH).parent_path()))
        << orvohost::platform_library_dir();
    EXPECT_TRUE(fs::equivalent(orvohost::default_plugin_path(), ORVO_PLUGIN_PATH))
        << orvohost::default_plugin_path();
    EXPECT_TRUE(fs::equivalent(orvohost::default_catalog_dir(), ORVO_CATALOG_DIR))
        << orvohost::default_catalog_dir();
}

} // namespace
