// Damaged, odd and changing files, and failing file calls, driven through the
// loaded plug-in as a host drives it. Every run must end in a defined outcome
// (an AppError whose status is its message's code in the shared table, or an
// assertion) or in success, and whatever it reads must be what the file holds.
#include "host_session.h"

#include <ds/messages.h>

#include "common/pal/os_seam.h"
#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace {

namespace msg = orvoeng::msg;
using Options = orvoeng::PeakListOptions;

using fixture::attempt;
using fixture::expect_defined;
using fixture::Outcome;
using fixture::Session;
using Peaks = fixture::Peaks;

// What to let pass: scans missing from a cut file, changed run info when the
// damage lies in it, one scan whose peaks may differ when the host is told.
struct Leeway {
    bool fewer_scans = false;
    bool run_info = false;
    std::size_t peaks_of = SIZE_MAX;
};

// What was read and differs from what `truth` read from the sound file; empty
// when all is right.
std::string wrong(const Session& s, const Session& truth, Leeway leeway) {
    std::ostringstream why;
    if (!s.open.ok)
        return "";
    if (s.scans.size() > truth.scans.size() ||
        (s.scans.size() < truth.scans.size() && !leeway.fewer_scans && !s.warned()))
        why << s.scans.size() << " scans listed; ";
    for (std::size_t i = 0; i < std::min(s.scans.size(), truth.scans.size()); ++i) {
        const auto &a = s.scans[i], &b = truth.scans[i];
        if (std::tuple(a.label, a.parent_label, a.retention_time, a.total_ion_current,
                       a.precursor_mz, a.precursor_charge, a.scan_type.ms_level) !=
            std::tuple(b.label, b.parent_label, b.retention_time, b.total_ion_current,
                       b.precursor_mz, b.precursor_charge, b.scan_type.ms_level))
            why << "header of scan " << i << " (retention time " << a.retention_time << "); ";
        const bool excused = !s.spectra[i] || (i == leeway.peaks_of && s.warned());
        if (!excused && *s.spectra[i] != *truth.spectra[i])
            why << "peaks of scan " << i << ": " << ::testing::PrintToString(*s.spectra[i]) << "; ";
    }
    if (s.info.ok && !leeway.run_info && s.instrument != truth.instrument)
        why << "instrument " << ::testing::PrintToString(s.instrument) << "; ";
    if (s.time.ok && !leeway.run_info && s.completion != truth.completion)
        why << "completion time " << s.completion << "; ";
    return why.str();
}

fixture::ScanSpec scan(int level, std::vector<double> values, const std::string& precursor = "") {
    fixture::ScanSpec one;
    one.ms_level = level;
    one.values = std::move(values);
    one.retention_time = "PT" + std::to_string(level * 7) + ".5S";
    one.extra_attributes = "totIonCurrent=\"1234.5\" lowMz=\"100.25\" highMz=\"500.25\"";
    if (!precursor.empty())
        one.precursor = "<precursorMz precursorCharge=\"2\">" + precursor + "</precursorMz>";
    return one;
}

const std::vector<fixture::ScanSpec> sound_scans = {scan(1, {100.25, 10, 200.5, 20}),
                                                    scan(2, {150.125, 5}, "445.5"),
                                                    scan(1, {300.75, 30, 400.5, 40, 500.25, 50})};

const std::string head =
    "<msInstrument>\n<msManufacturer category=\"msManufacturer\" value=\"Maker\"/>\n"
    "<msModel category=\"msModel\" value=\"Model 7\"/>\n</msInstrument>\n"
    "<dataProcessing centroided=\"1\">\n<software type=\"conversion\" name=\"w\" "
    "completionTime=\"2009-12-24T10:31:07\"/>\n</dataProcessing>\n";

// The file through </msRun>; `before` goes in front of each scan's line.
std::string body(const std::vector<fixture::ScanSpec>& scans = sound_scans,
                 const std::vector<std::string>& before = {}) {
    fixture::MzXmlWriter writer;
    writer.begin(static_cast<int>(scans.size())).text(head);
    for (std::size_t i = 0; i < scans.size(); ++i)
        writer.text(i < before.size() ? before[i] : "").scan(scans[i]);
    return writer.end_run().str();
}

// `text` with an index of every scan start tag in it, lines ended by `eol`;
// `damage` may change the offsets and the index offset first.
std::string
indexed(const std::string& text, const std::string& eol = "\n",
        const std::function<void(std::vector<std::int64_t>&, std::int64_t&)>& damage = {}) {
    std::vector<std::int64_t> offsets;
    for (auto at = text.find("<scan"); at != std::string::npos; at = text.find("<scan", at + 1))
        offsets.push_back(static_cast<std::int64_t>(at));
    auto index_at = static_cast<std::int64_t>(text.size());
    if (damage)
        damage(offsets, index_at);
    std::string out = text + "<index name=\"scan\">" + eol;
    for (std::size_t i = 0; i < offsets.size(); ++i)
        out += "<offset id=\"" + std::to_string(i + 1) + "\">" + std::to_string(offsets[i]) +
               "</offset>" + eol;
    return out + "</index>" + eol + "<indexOffset>" + std::to_string(index_at) + "</indexOffset>" +
           eol + "</mzXML>" + eol;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

Peaks pairs(const std::vector<double>& values) {
    Peaks out;
    for (std::size_t i = 0; i + 1 < values.size(); i += 2)
        out.emplace_back(static_cast<float>(values[i]), static_cast<float>(values[i + 1]));
    return out;
}

class Hostile : public ::testing::Test {
protected:
    // Defined, and right.
    void check(const Session& s, const std::string& name, Leeway leeway = {}) {
        expect_defined(s, name);
        EXPECT_EQ(wrong(s, *truth, leeway), "") << name;
    }

    void SetUp() override {
        truth = std::make_unique<Session>(dir.write("sound.mzXML", sound));
        ASSERT_TRUE(truth->complete());
        ASSERT_EQ(truth->scans.size(), sound_scans.size());
        for (std::size_t i = 0; i < sound_scans.size(); ++i)
            ASSERT_EQ(truth->spectra[i], pairs(sound_scans[i].values));
    }
    std::unique_ptr<Session> run(const std::string& bytes) {
        return std::make_unique<Session>(dir.write("hostile.mzXML", bytes));
    }
    // A file every reader must read whole and right.
    void expect_sound(const std::string& bytes, const std::string& name) {
        const auto s = run(bytes);
        check(*s, name);
        EXPECT_TRUE(s->complete() && s->scans.size() == truth->scans.size()) << name;
    }

    fixture::TempDir dir;
    const std::string sound = indexed(body());
    std::unique_ptr<Session> truth;
};

TEST_F(Hostile, EveryPrefixOfAnIndexedFile) {
    for (std::size_t size = 0; size < sound.size(); ++size)
        check(*run(sound.substr(0, size)), "prefix " + std::to_string(size), {true});
}

TEST_F(Hostile, EverySingleByteDeletionOfTheHeader) {
    const auto first_scan = sound.find("<scan");
    for (std::size_t at = 0; at < first_scan; ++at) {
        auto bytes = sound;
        bytes.erase(at, 1);
        check(*run(bytes), "without byte " + std::to_string(at),
              {false, at >= sound.find("<msInstrument")});
    }
}

TEST_F(Hostile, DamagedIndexOrIndexOffset) {
    using Offsets = std::vector<std::int64_t>;
    const std::int64_t end = static_cast<std::int64_t>(sound.size());
    const auto shift = [](std::int64_t by) {
        return [by](Offsets& o, std::int64_t&) {
            for (auto& x : o)
                x += by;
        };
    };
    const std::vector<std::pair<std::string, std::function<void(Offsets&, std::int64_t&)>>> cases =
        {{"offset past the end", [&](Offsets& o, std::int64_t&) { o[2] = end + 4096; }},
         {"negative offset", [](Offsets& o, std::int64_t&) { o[1] = -5; }},
         {"unordered offsets", [](Offsets& o, std::int64_t&) { std::swap(o[0], o[1]); }},
         {"duplicated offset", [](Offsets& o, std::int64_t&) { o[1] = o[0]; }},
         {"offsets one later", shift(1)},
         {"offsets one earlier", shift(-1)},
         {"index offset into a scan", [&](Offsets& o, std::int64_t& i) { i = o[1] + 12; }},
         {"index offset past the end", [&](Offsets&, std::int64_t& i) { i = end + 4096; }},
         {"index offset one later", [](Offsets&, std::int64_t& i) { ++i; }}};
    for (const auto& [name, damage] : cases)
        check(*run(indexed(body(), "\n", damage)), name);
}

// The damaged scan is the second; its peaks may differ only with an error event.
TEST_F(Hostile, DamagedPeakCountsAndPeakText) {
    const std::string good = fixture::encode_values(sound_scans[1].values, 32);
    const std::vector<std::pair<std::string, std::function<void(fixture::ScanSpec&)>>> cases = {
        {"peaksCount -1", [](auto& s) { s.peaks_count = -1; }},
        {"peaksCount 0 with data", [](auto& s) { s.peaks_count = 0; }},
        {"peaksCount 2147483647", [](auto& s) { s.peaks_count = 2147483647; }},
        {"bad base64 character", [&](auto& s) { s.peaks_text = "!" + good.substr(1); }},
        {"short base64 group", [&](auto& s) { s.peaks_text = good.substr(0, good.size() - 3); }},
        {"excess padding", [&](auto& s) { s.peaks_text = good + "===="; }},
        {"NUL in peak text", [&](auto& s) { s.peaks_text = good.substr(0, 4) + '\0' + good; }}};
    for (const auto& [name, damage] : cases) {
        auto scans = sound_scans;
        damage(scans[1]);
        const auto s = run(indexed(body(scans)));
        check(*s, name, {false, false, 1});
    }
}

TEST_F(Hostile, LineEndsLongLinesNulBytesAndNesting) {
    const std::string text = body();
    for (const auto& [name, eol] : std::vector<std::pair<std::string, std::string>>{
             {"CR LF", "\r\n"}, {"lone CR", "\r"}, {"no line breaks", ""}})
        expect_sound(indexed(replaced(text, "\n", eol), eol), name);
    const std::string long_line = "<!-- " + std::string(3000, 'c') + " -->\n";
    expect_sound(indexed(replaced(text, "<dataProcessing", long_line + "<dataProcessing")),
                 "long header line");
    expect_sound(indexed(replaced(text, "<msRun", "<msRun" + std::string(2100, ' '))),
                 "long msRun start tag");
    auto many = sound_scans;
    many[0].values.clear();
    for (int i = 0; i < 400; ++i)
        many[0].values.insert(many[0].values.end(), {100.0 + i, 1.0 + i});
    const auto s = run(indexed(body(many)));
    expect_defined(*s, "long peak line");
    ASSERT_TRUE(s->complete()) << "long peak line";
    EXPECT_EQ(s->spectra.at(0), pairs(many[0].values));
    // A NUL between elements, and inside a value the host is shown.
    const std::string nul(1, '\0');
    check(*run(indexed(replaced(text, "<dataProcessing", nul + "\n<dataProcessing"))),
          "NUL between header elements");
    check(*run(indexed(replaced(text, "Model 7", "Mo" + nul + "del 7"))), "NUL in a header value",
          {false, true});
    // An MS2 scan nested in its MS1 scan, as converters write them.
    auto outer = sound_scans[0];
    auto inner = sound_scans[1];
    inner.num = 2;
    outer.inner = fixture::MzXmlWriter::scan_element(inner, 2);
    auto last = sound_scans[2];
    last.num = 3;
    expect_sound(indexed(replaced(body({outer, last}), "scanCount=\"2\"", "scanCount=\"3\"")),
                 "nested scans");
    // A scan that begins inside another and ends after it.
    auto first = fixture::MzXmlWriter::scan_element(sound_scans[0], 1);
    auto second = fixture::MzXmlWriter::scan_element(sound_scans[1], 2);
    const auto cut = [](const std::string& e, const char* tag) { return e.find(tag); };
    const std::string overlapping = first.substr(0, cut(first, "</scan>")) +
                                    second.substr(0, cut(second, "<peaks")) + "</scan>\n" +
                                    second.substr(cut(second, "<peaks"));
    auto third = sound_scans[2];
    third.num = 3;
    const auto o = run(indexed(replaced(body({third}), "    <scan", overlapping + "<scan")));
    expect_defined(*o, "overlapping scans");
    for (const auto& peaks : o->spectra)
        EXPECT_TRUE(!peaks || *peaks == truth->spectra[0] || *peaks == truth->spectra[1] ||
                    *peaks == truth->spectra[2] || o->warned());
}

// Lines are read in pieces of 1023 bytes from a line's start, and a fetch
// reads from the scan's start tag: padding before the tag and inside it moves
// each piece boundary, in turn, through every byte of the second scan's tag.
TEST_F(Hostile, ScanAttributesCutByEveryPieceBoundary) {
    const auto tag = fixture::MzXmlWriter::scan_element(sound_scans[1], 2);
    const std::size_t length = tag.find('>') - tag.find("<scan") + 1;
    for (const std::size_t boundary : {1023u, 2046u}) {
        for (std::size_t at = 0; at < length; ++at) {
            const std::size_t pad = boundary - 4 - at; // the scan line has 4 blanks of its own
            auto padded = body();
            const auto second = padded.find("<scan", padded.find("<scan") + 1);
            padded.insert(second + 5, std::string(pad, ' '));
            const std::string name = "boundary " + std::to_string(boundary) + " at byte ";
            const std::string ahead = indexed(body(sound_scans, {"", std::string(pad, ' ')}));
            for (const auto& [bytes, where] : std::vector<std::pair<std::string, std::string>>{
                     {ahead, "before"}, {indexed(padded), "in"}}) {
                const auto s = run(bytes);
                check(*s, name + std::to_string(at) + ", padding " + where + " it");
                EXPECT_TRUE(s->open.ok || s->open.id == msg::BAD_SCAN_HEADER.id) << s->open.what;
            }
        }
    }
}

// (A folder is refused as the plug-in's state tests check.)
TEST_F(Hostile, UnknownLocaleAndAFileChangedWhileOpen) {
    for (const char* variable : {"LC_ALL", "LANG"}) {
        fixture::ScopedEnv locale(variable, "xx_YY.NOPE-8");
        expect_sound(sound, std::string(variable) + " names no installed locale");
    }
    const auto path = dir.path() / "changing.mzXML";
    const std::vector<std::pair<std::string, std::function<void()>>> changes = {
        {"truncated to nothing", [&] { std::filesystem::resize_file(path, 0); }},
        {"truncated in the second scan",
         [&] { std::filesystem::resize_file(path, sound.find("<peaks", sound.find("445.5"))); }},
        {"grown", [&] { std::ofstream(path, std::ios::app) << std::string(5000, 'x'); }},
        {"deleted", [&] { std::filesystem::remove(path); }}};
    for (const auto& [name, change] : changes) {
        dir.write("changing.mzXML", sound);
#ifdef _WIN32
        // Opened shared for reading only, the file cannot change under the
        // reader: every change is refused and the reading sees it whole.
        const auto refused = [&, change = change, name = name] {
            try {
                change();
            } catch (const std::filesystem::filesystem_error&) {
            }
            EXPECT_EQ(std::filesystem::file_size(path), sound.size()) << name;
        };
        const Session s(path, {}, refused);
#else
        const Session s(path, {}, change);
#endif
        check(s, name);
        EXPECT_TRUE(s.open.ok);
    }
}

// ---- file calls that fail --------------------------------------------------

// The k-th file call of the seam fails with EIO (counting from 1; 0 never),
// and every open handle is counted until it is closed.
struct Faults {
    static inline long calls = 0, fail_at = 0, open_handles = 0;
    static bool next_fails(std::uint32_t& error) {
        if (++calls != fail_at)
            return false;
        error = EIO;
        return true;
    }
    static const PAL::os::Syscalls& native() { return PAL::os::native_syscalls(); }
    static void install(PAL::os::Syscalls& table) {
        table.file_open = [](const std::wstring& path, std::uint32_t& error) -> std::intptr_t {
            if (next_fails(error))
                return -1;
            const auto handle = native().file_open(path, error);
            open_handles += handle >= 0;
            return handle;
        };
        table.file_close = [](std::intptr_t handle) {
            --open_handles;
            native().file_close(handle);
        };
        table.file_seek = [](std::intptr_t h, std::int64_t d, int w, std::uint32_t& error) {
            return next_fails(error) ? -1 : native().file_seek(h, d, w, error);
        };
        table.file_size = [](std::intptr_t h, std::uint32_t& error) {
            return next_fails(error) ? -1 : native().file_size(h, error);
        };
        table.file_read = [](std::intptr_t h, void* b, std::uint32_t n, std::uint32_t& error) {
            return next_fails(error) ? -1 : native().file_read(h, b, n, error);
        };
        table.file_read_at = [](std::intptr_t h, std::int64_t at, void* b, std::uint32_t n,
                                std::uint32_t& error) {
            return next_fails(error) ? -1 : native().file_read_at(h, at, b, n, error);
        };
    }
};

TEST_F(Hostile, EachFileCallInTurnFails) {
    const auto path = dir.write("faults.mzXML", sound);
    long total = 0;
    for (long k = 0; k == 0 || k <= total; ++k) {
        Faults::calls = 0;
        Faults::fail_at = k;
        std::optional<Session> s;
        {
            pal_test::SyscallsGuard guard;
            Faults::install(guard.table());
            s.emplace(path);
        }
        const std::string name = "file call " + std::to_string(k) + " fails";
        EXPECT_EQ(Faults::open_handles, 0) << name << ": handles left open";
        if (k == 0) {
            total = Faults::calls;
            ASSERT_TRUE(s->complete() && s->scans.size() == truth->scans.size());
            ASSERT_GT(total, 5);
        }
        check(*s, name);
    }
}

} // namespace
