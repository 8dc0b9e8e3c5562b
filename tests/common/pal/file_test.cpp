// PAL::File's positioned read over a seam that gives what an OS may give:
// a byte at a time, an interrupted call, a failure, the end of the file.
#include "os_seam.h"

#include <pal/file.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// What the next positioned reads do: `interrupt` of them fail as a signal
// would, then the `fail_on`-th call (from 1; 0 none) fails with EIO; each
// delivers at most `most` bytes.
struct Seam {
    static inline int interrupt = 0, fail_on = 0;
    static inline std::uint32_t most = 0xFFFFFFFF;
    static inline int calls = 0;
    static void install(PAL::os::Syscalls& table) {
        calls = 0;
        table.file_read_at = [](std::intptr_t h, std::int64_t at, void* b, std::uint32_t n,
                                std::uint32_t& error) -> std::int64_t {
            ++calls;
            if (interrupt > 0 && PAL::os::native_syscalls().read_interrupted != 0) {
                --interrupt;
                error = PAL::os::native_syscalls().read_interrupted;
                return -1;
            }
            if (calls == fail_on) {
                error = EIO;
                return -1;
            }
            return PAL::os::native_syscalls().file_read_at(h, at, b, std::min(n, most), error);
        };
    }
};

class FileRead : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(path, std::ios::binary) << text;
        ASSERT_TRUE(file.open_read(path.wstring()));
        Seam::interrupt = Seam::fail_on = 0;
        Seam::most = 0xFFFFFFFF;
        Seam::install(guard.table());
    }
    void TearDown() override {
        file.close();
        std::filesystem::remove(path);
    }
    std::string read(std::int64_t at, std::uint32_t count, bool& ok) {
        std::string out(count, '?');
        std::uint32_t got = 77;
        ok = file.read_at(at, out.data(), count, got);
        out.resize(got);
        return out;
    }

    const std::string text = "<scan num=\"1\">0123456789</scan>";
    // A file of its own for each test: ctest runs this file's tests side by
    // side, and one's TearDown would remove the file the other reads.
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        std::string("orvo_file_test_")
            .append(::testing::UnitTest::GetInstance()->current_test_info()->name());
    pal_test::SyscallsGuard guard;
    PAL::File file;
};

TEST_F(FileRead, ShortAndInterruptedReadsAreAskedAgainUntilTheEnd) {
    bool ok = false;
    Seam::most = 1;
    EXPECT_EQ(read(5, 9, ok), " num=\"1\">");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Seam::calls, 9);
    Seam::interrupt = 3;
    EXPECT_EQ(read(20, 100, ok), text.substr(20)) << "the end of the file ends the read";
    EXPECT_TRUE(ok);
    EXPECT_EQ(read(static_cast<std::int64_t>(text.size()), 4, ok), "");
    EXPECT_TRUE(ok);
}

TEST_F(FileRead, AFailedReadGivesNoBytesAndTheSystemsError) {
    bool ok = true;
    Seam::most = 4;
    Seam::fail_on = 1;
    EXPECT_EQ(read(0, 8, ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(file.last_error(), static_cast<std::uint32_t>(EIO));
    // A failure after some bytes came gives none of them: the read is not
    // whole, and a part of it would pass for a file that ends there.
    Seam::install(guard.table());
    Seam::fail_on = 2;
    EXPECT_EQ(read(0, 8, ok), "");
    EXPECT_FALSE(ok);
    Seam::fail_on = 0;
    EXPECT_EQ(read(0, 8, ok), "<scan nu");
    EXPECT_TRUE(ok);
    EXPECT_EQ(read(-1, 8, ok), "");
    EXPECT_FALSE(ok) << "before the start";
}

} // namespace
