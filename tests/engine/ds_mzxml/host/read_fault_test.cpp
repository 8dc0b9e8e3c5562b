// Positioned reads that fail, one at a time, on files of several reading
// blocks, so that the failing read is in turn the caller's and the read
// ahead's. A read that fails (EIO) must end the call that needed it in an
// error naming the system's reason, told as a failed read and never as a
// fault of the file, and leave every other call right; a short read or one
// a signal interrupted must change nothing. No handle may stay open.
#include "host_session.h"

#include "common/pal/os_seam.h"

#include <pal/exception.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {

namespace msg = orvoeng::msg;
using fixture::Outcome;
using fixture::Session;

enum class Fault { EIO_ERROR, SHORT_READ, INTERRUPTED };

const char* name_of(Fault fault) {
    switch (fault) {
    case Fault::EIO_ERROR:
        return "EIO";
    case Fault::SHORT_READ:
        return "short read";
    default:
        return "EINTR";
    }
}

// The k-th positioned read (from 1; 0 never) fails as `fault`; reads are
// counted on every thread, handles while open.
struct ReadFaults {
    static inline std::atomic<long> reads{0}, open_handles{0};
    static inline long fail_at = 0;
    static inline Fault fault = Fault::EIO_ERROR;
    static inline std::thread::id caller;
    static inline std::atomic<bool> on_read_ahead{false};

    static const PAL::os::Syscalls& native() { return PAL::os::native_syscalls(); }
    static void install(PAL::os::Syscalls& table) {
        table.file_open = [](const std::wstring& path, std::uint32_t& error) -> std::intptr_t {
            const auto handle = native().file_open(path, error);
            open_handles += handle >= 0;
            return handle;
        };
        table.file_close = [](std::intptr_t handle) {
            --open_handles;
            native().file_close(handle);
        };
        table.file_read_at = [](std::intptr_t h, std::int64_t at, void* b, std::uint32_t n,
                                std::uint32_t& error) -> std::int64_t {
            if (++reads != fail_at)
                return native().file_read_at(h, at, b, n, error);
            on_read_ahead = std::this_thread::get_id() != caller;
            switch (fault) {
            case Fault::EIO_ERROR:
                error = EIO;
                return -1;
            case Fault::SHORT_READ:
                return native().file_read_at(h, at, b, n > 1 ? n / 2 : n, error);
            default:
                error = native().read_interrupted;
                return -1;
            }
        };
    }
};

// Faults injected on each thread, per kind, over a file's sweep.
struct Counted {
    long caller = 0;
    long read_ahead = 0;
};

std::string narrow(const std::wstring& w) {
    return std::string(w.begin(), w.end());
}

// A call a failed read ended: in the error its operation raises for an
// unreadable file, with the system's reason where the message carries one.
bool ended_as_failed_read(const Outcome& o, const std::wstring& reason, bool spectrum,
                          bool completion) {
    if (o.ok)
        return true;
    if (spectrum)
        return o.id == msg::BAD_PEAKS.id && o.args.size() == 2 && o.args[1] == reason;
    if (completion)
        return o.id == msg::NO_COMPLETION_TIME.id && o.args == std::vector{reason};
    return o.id == msg::FILE_REFUSED.id;
}

// Told as a failed read: READ_FAILED with the path, reason and number, and
// none of the judgements on a file's form that the missing bytes would
// have brought (no schema, no index, no scan count, no data processing...)
// unless the file itself, read whole (`truth`), brought it too.
std::string misjudged(const Session& s, const Session& truth, const std::filesystem::path& path,
                      const std::wstring& reason) {
    std::ostringstream why;
    const std::vector<std::wstring> told = {path.wstring(), reason, std::to_wstring(EIO)};
    bool reported = false;
    for (const auto& e : s.sink.listener.events) {
        if (e.kind != PAL::Event::MSG_EVENT)
            continue;
        if (e.id == msg::READ_FAILED.id) {
            reported = true;
            if (e.args != told)
                why << "READ_FAILED with " << narrow(e.args.at(1)) << "; ";
        } else if ((e.level == 1 || e.id == msg::BUILDING_INDEX.id ||
                    e.id == msg::NOT_A_SCAN_INDEX.id || e.id == msg::ENTRIES_DIFFER.id ||
                    e.id == msg::NO_DATA_PROCESSING.id || e.id == msg::BAD_INDEX_LINE.id ||
                    e.id == msg::ID_OUT_OF_ORDER.id) &&
                   truth.sink.listener.count(e.id) == 0) {
            why << "event " << std::hex << e.id << std::dec << "; ";
        } else if ((e.id == msg::SCAN_COUNT.id || e.id == msg::INDEX_OFFSET.id) &&
                   truth.sink.listener.with_id(e.id).at(0).args != e.args) {
            // "indexOffset is 0", "scanCount 0": values of bytes not read
            why << "event " << std::hex << e.id << std::dec << " with " << narrow(e.args.at(0))
                << "; ";
        }
    }
    if (!reported)
        why << "no READ_FAILED; ";
    bool all = ended_as_failed_read(s.peek, reason, false, false) &&
               ended_as_failed_read(s.open, reason, false, false) &&
               ended_as_failed_read(s.info, reason, false, false) &&
               ended_as_failed_read(s.time, reason, false, true);
    for (const auto& f : s.fetches)
        all = all && ended_as_failed_read(f, reason, true, false);
    if (!all)
        why << "a call ended otherwise than as a failed read; ";
    return why.str();
}

// Every positioned read of a session on `bytes` fails in turn, as each kind
// of fault; the counts of faults injected per thread come back.
std::map<Fault, Counted> sweep(const std::string& bytes, fixture::Factory create,
                               const std::string& label) {
    fixture::TempDir dir;
    const auto path = dir.write("faults.mzXML", bytes);
    const std::wstring reason = PAL::WindowsError(EIO, __LINE__, __FILE__).description();
    ReadFaults::caller = std::this_thread::get_id();
    std::map<Fault, Counted> counted;
    std::vector<Fault> faults = {Fault::EIO_ERROR, Fault::SHORT_READ};
    if (PAL::os::native_syscalls().read_interrupted != 0)
        faults.push_back(Fault::INTERRUPTED);

    const auto run = [&](long k, Fault fault) {
        ReadFaults::reads = 0;
        ReadFaults::fail_at = k;
        ReadFaults::fault = fault;
        ReadFaults::on_read_ahead = false;
        pal_test::SyscallsGuard guard;
        ReadFaults::install(guard.table());
        auto s = std::make_unique<Session>(path, orvoeng::PeakListOptions{},
                                           std::function<void()>{}, create);
        EXPECT_EQ(ReadFaults::open_handles.load(), 0) << label << ": handles left open";
        return s;
    };
    const auto truth = run(0, Fault::EIO_ERROR);
    const long total = ReadFaults::reads;
    EXPECT_TRUE(truth->complete()) << label;
    EXPECT_GT(total, 10) << label;

    for (const Fault fault : faults) {
        for (long k = 1; k <= total; ++k) {
            const auto s = run(k, fault);
            const std::string name = label + ", read " + std::to_string(k) + " of " +
                                     std::to_string(total) + ": " + name_of(fault) +
                                     (ReadFaults::on_read_ahead ? " on the read ahead" : "");
            if (ReadFaults::reads < k)
                continue; // a read ahead dropped unread this time
            (ReadFaults::on_read_ahead ? counted[fault].read_ahead : counted[fault].caller)++;
            fixture::expect_defined(*s, name);
            if (fault != Fault::EIO_ERROR || s->complete()) {
                EXPECT_EQ(fixture::differences(*s, *truth), "") << name;
                continue;
            }
            EXPECT_EQ(misjudged(*s, *truth, path, reason), "") << name;
            EXPECT_EQ(fixture::differences(*s, *truth, true), "") << name;
        }
    }
    return counted;
}

void expect_both_threads(const std::map<Fault, Counted>& counted, const std::string& label) {
    for (const auto& [fault, n] : counted) {
        std::cout << label << ": " << name_of(fault) << " injected in " << n.caller
                  << " reads of the caller, " << n.read_ahead << " of the read ahead\n";
        EXPECT_GT(n.caller, 0) << label << ", " << name_of(fault);
        EXPECT_GT(n.read_ahead, 0) << label << ", " << name_of(fault);
    }
}

// A file of several blocks through the plug-in as shipped (five, of scans
// whose peak data a header read skips, so refills are read in stretches),
// and a file of a few dozen tiny blocks through the plug-in built with
// them; both with an index and without (then it is built by searching the
// file). Each session's reads fail in turn, so the time grows with the
// square of the reads: the shipped file is kept to a few blocks.
TEST(ReadFaults, ManyBlocksEveryPositionedReadFailsInTurn) {
    expect_both_threads(sweep(fixture::generated_run(40, 12000), fixture::create_data_source,
                              "shipped blocks, indexed"),
                        "shipped blocks, indexed");
    for (const bool indexed : {true, false}) {
        const std::string label = std::string("tiny blocks, ") + (indexed ? "indexed" : "no index");
        expect_both_threads(sweep(fixture::generated_run(16, 4, indexed),
                                  fixture::create_tiny_block_data_source, label),
                            label);
    }
}

} // namespace
