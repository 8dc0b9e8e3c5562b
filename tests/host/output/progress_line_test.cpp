// The progress bar's line against terminal widths: it always fits, gives
// way in the order promised, and a long file name keeps its start and end
// (the middle ellipsis the plots' titles share).
#include <host/base/middle_ellipsis.h>
#include <host/output/progress_line.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using orvohost::middle_ellipsis;
using orvohost::progress_line;
using orvohost::text_columns;

TEST(MiddleEllipsis, KeepsStartAndEndAndNeverSplitsACharacter) {
    EXPECT_EQ(middle_ellipsis("run.mzXML", 9), "run.mzXML");
    EXPECT_EQ(middle_ellipsis("abcdefghij", 5), "ab\u2026ij");
    EXPECT_EQ(middle_ellipsis("abcdefghij", 6), "abc\u2026ij");
    EXPECT_EQ(middle_ellipsis("abcdefghij", 1), "\u2026");
    EXPECT_EQ(middle_ellipsis("abcdefghij", 0), "");
    // Two-byte and three-byte characters count one column each.
    const std::string accented = "\u00e9t\u00e9_\u00e0_\u00e9chantillon_\u2116_12.mzXML";
    for (std::size_t columns = 1; columns < text_columns(accented) + 2; ++columns) {
        const std::string shown = middle_ellipsis(accented, columns);
        EXPECT_EQ(text_columns(shown), std::min(columns, text_columns(accented))) << columns;
        // Whole characters only: every lead byte keeps its continuation bytes.
        EXPECT_EQ(shown.find("\u2026") == std::string::npos, columns >= text_columns(accented));
    }
    EXPECT_EQ(middle_ellipsis(accented, 8), "\u00e9t\u00e9_\u2026XML");
}

TEST(ProgressLine, FitsEveryWidthAndGivesWayInOrder) {
    const std::string name =
        "2026-01-02_HeLa_digest_120min_gradient_replicate_03_orbitrap_profile.mzXML";
    const std::string rate = "12.3 MB/s, 0:42 left";
    for (std::size_t columns = 1; columns <= 200; ++columns)
        for (const std::uint16_t percentage :
             {std::uint16_t{0}, std::uint16_t{42}, std::uint16_t{100}, std::uint16_t{0xFFFF}}) {
            const std::string line = progress_line(percentage, rate, name, columns);
            EXPECT_LT(text_columns(line), std::max<std::size_t>(columns, 2))
                << columns << ": " << line;
        }
    // Wide enough: everything whole, the bar 30 columns.
    EXPECT_EQ(progress_line(42, rate, "run.mzXML", 80),
              "[############                  ]  42% 12.3 MB/s, 0:42 left run.mzXML");
    // 80 columns and a long name: the name alone gives way.
    EXPECT_EQ(
        progress_line(42, rate, name, 80),
        "[############                  ]  42% 12.3 MB/s, 0:42 left 2026-01-02\u2026ile.mzXML");
    // 60 columns: the bar narrows so that 16 columns of the name stay.
    EXPECT_EQ(progress_line(42, rate, name, 60),
              "[#####         ]  42% 12.3 MB/s, 0:42 left 2026-01-\u2026e.mzXML");
    // 40 columns: the rate goes before the bar gets narrower than 10.
    EXPECT_EQ(progress_line(42, rate, name, 40), "[######         ]  42% 2026-01-\u2026e.mzXML");
    EXPECT_EQ(progress_line(0xFFFF, "", "run.mzXML", 60),
              "[           working            ]   ?% run.mzXML");
}

} // namespace
