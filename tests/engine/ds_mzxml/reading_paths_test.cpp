// The fast reading paths against the reference ones (every span read anew,
// peaks through lists): each file read both ways gives the same events,
// values and errors. And values that a long line's piece boundary cuts are
// read whole.
#include "scan_reader.h"
#include "scan_record.h"

#include <pal/exception.h>

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

namespace fixture {
namespace {

// The reference paths, the fast ones, and the fast ones with the
// look-ahead reading every plain scan of each block read ahead.
enum class Way { REFERENCE, FAST, THOROUGH };

// Everything a data source asks of a file, as comparable lines; the scans
// in order, or from every `stride`-th one on (stride prime to the count).
std::vector<std::wstring> read_everything(const std::filesystem::path& path, Way way,
                                          std::uint32_t stride = 1) {
    MzXMLReader reader;
    reader.use_reference_paths(way == Way::REFERENCE);
    if (way == Way::THOROUGH)
        ReaderAccess::look_ahead_thoroughly(reader);
    RecordingSocket events;
    std::vector<std::wstring> log;
    std::wostringstream line;
    line.precision(17);
    const auto flush = [&] {
        log.push_back(line.str());
        line.str(L"");
    };
    const bool opened = reader.open(path.wstring(), false, events.socket, {});
    line << opened << L' ' << reader.open_state();
    for (const std::int64_t offset : reader.offsets())
        line << L' ' << offset;
    flush();
    for (std::uint32_t i = 0; opened && i < reader.scan_count(); ++i) {
        const std::uint32_t n =
            static_cast<std::uint32_t>(std::uint64_t{i} * stride % reader.scan_count() + 1);
        ScanHeader h;
        line << reader.read_scan_header(n, h) << L' ' << h.msLevel << L' ' << h.polarity << L' '
             << h.retentionTime << L' ' << h.precursorMz << L' ' << h.precursorCharge << L' '
             << h.totalIonCurrent << L' ' << h.centroided << L" |";
        bool centroided = false;
        std::vector<Peak> peaks;
        try {
            const PeakRead read = reader.read_peaks_into(n, centroided, peaks, 1.0, events.socket);
            line << read.complete << L' ' << read.values << L' ' << centroided;
            for (const Peak& peak : peaks)
                line << L' ' << peak.mz << L' ' << peak.intensity;
        } catch (const PAL::StrDecodeError& error) {
            line << L"decode error " << error.error << L" at " << error.offset;
        } catch (const PAL::Exception& error) {
            line << error.description();
        }
        flush();
    }
    const std::unique_ptr<InstrumentRecord> instrument(reader.read_instrument());
    DataProcessingRecord processing;
    const bool stated = reader.read_data_processing(processing, events.socket);
    line << instrument->model.c_str() << L' ' << instrument->operator_name.c_str() << L' ' << stated
         << processing.software_name.c_str() << processing.completionTime.c_str() << L' '
         << reader.centroid_info_complete(events.socket);
    flush();
    for (const RecordedEvent& event : events.listener.events) {
        line << event.id << L' ' << event.level;
        for (const std::wstring& arg : event.args)
            line << L' ' << arg;
        flush();
    }
    return log;
}

void expect_same_both_ways(const std::filesystem::path& path, std::uint32_t stride = 1) {
    const auto reference = read_everything(path, Way::REFERENCE, stride);
    // A file of several blocks is read ahead: the look-ahead's reads are
    // compared too, whatever share of them the threads' timing leaves.
    const bool read_ahead = std::filesystem::file_size(path) > 2 * FileView::BLOCK;
    for (const Way way : {Way::FAST, Way::THOROUGH}) {
        if (way == Way::THOROUGH && !read_ahead)
            continue;
        SCOPED_TRACE(way == Way::FAST ? "fast" : "thorough look-ahead");
        const auto fast = read_everything(path, way, stride);
        ASSERT_EQ(fast.size(), reference.size());
        for (std::size_t i = 0; i < fast.size(); ++i)
            EXPECT_EQ(fast[i], reference[i]) << "line " << i;
    }
}

// The file of `scans`, with its index and without.
std::pair<std::string, std::string> both_forms(const std::vector<ScanSpec>& scans, int count,
                                               const std::string& before_scans = "") {
    MzXmlWriter indexed;
    indexed.begin(count).text(before_scans);
    for (const ScanSpec& scan : scans)
        indexed.scan(scan);
    MzXmlWriter searched = indexed;
    indexed.end_run().index();
    searched.end_run().no_index();
    return {indexed.str(), searched.str()};
}

TEST(ReadingPaths, FixturesReadTheSameBothWays) {
    const std::string long_tag(3000, ' ');
    // Scans after the nested one (its num names another position) have no
    // header to read: cases of headers come before it.
    std::vector<ScanSpec> scans = {
        {.values = {100, 1, 200, 2}},
        // a header name in the peak data of the peaks line, with a quote
        // after it there: no value of the header, which reads that line up
        // to the tag's end
        {.peaks_count = 1, .peaks_text = "centroided==AA==</peaks><x y=\"1\"></x"},
        {.ms_level = 2,
         .extra_attributes = "centroided=\"1\" totIonCurrent=\"5e3\"" + long_tag,
         .values = {0.5, 9, 300.25, 7},
         .precision = 64,
         .precursor = "<precursorMz precursorCharge=\"2\">\n445.5\n</precursorMz>"},
        {.values = {0, 0}, .multi_line_start_tag = true},
        // m/z at or below the host's floor, and NaN, among enough pairs for the wide steps
        {.values = {5, 1, 0.5, 2, 7, 3, 8, 4, std::nan(""), 5, 9, 6, 1, 7, 11, 8, 12, 9}},
        {.peaks_text = "QsgAAEA\nAAAA="},         // a line break inside a group
        {.peaks_count = 3, .values = {1, 2}},     // fewer values than peaks
        {.peaks_attributes = "precision=\"32\""}, // byte and pair order missing
        {.peaks_count = 2, .no_peaks_element = true},
        {.inner = "<scan num=\"99\" msLevel=\"2\"><peaks precision=\"32\"></peaks></scan>"},
        // named after the data: 32 bits win over the tag's 64, and the centroiding
        {.values = {100, 1, 200, 2}, .precision = 64, .inner = "<x precision=\"32\"/>"},
        {.values = {100, 1, 200, 2}, .inner = "<x centroided=\"1\"/>"},
        {.peaks_text = "QsgAAEA</peaks>AAAA="}, // the first of two closes ends the data
        // a name before an "=" that the data hold, past a padded group: it
        // is the first, not the one after the data
        {.peaks_count = 1, .peaks_text = "centroided==AA==", .inner = "<x centroided=\"1\"/>"},
        // markup inside the data; compressed data
        {.peaks_count = 1, .peaks_text = "QsgAAEAA<!-- x -->AAAAAA=="},
        {.values = {100, 1},
         .peaks_attributes = "precision=\"32\" byteOrder=\"network\" pairOrder=\"m/z-int\" "
                             "compressionType=\"zlib\""},
        // data without padding, then the centroiding; the peaks attributes
        // named only after the data; a scan that goes on far past its data
        {.values = {100, 1, 200, 2, 300, 3}, .inner = "<x centroided=\"1\"/>"},
        {.values = {100, 1, 200, 2},
         .peaks_attributes = " ",
         .inner = "<x precision=\"64\" byteOrder=\"network\" pairOrder=\"m/z-int\"/>"},
        {.values = {100, 1, 200, 2}, .inner = long_tag + long_tag + "<x centroided=\"1\"/>"},
        // one name or value of the plain peaks' naming off, and a name
        // that ends a longer one
        {.values = {100, 1},
         .peaks_attributes = "precision=\"32\" byteOrder=\"network\" pairOrder=\"int-m/z\""},
        {.values = {100, 1},
         .peaks_attributes = "precision=\"33\" byteOrder=\"network\" pairOrder=\"m/z-int\""},
        {.values = {100, 1},
         .peaks_attributes = "precision=\"32\" byteOrder=\"little\" pairOrder=\"m/z-int\""},
        {.values = {100, 1},
         .peaks_attributes = "precision=\"32\" xbyteOrder=\"network\" pairOrder=\"m/z-int\""},
    };
    std::vector<double> many;
    for (int i = 0; i < 30000; ++i)
        many.insert(many.end(), {100.0 + i * 0.01, 1.0 * i});
    scans.push_back({.values = many}); // larger than one read-ahead block
    const auto [indexed, searched] =
        both_forms(scans, static_cast<int>(scans.size() + 1),
                   "<msInstrument><msModel category=\"msModel\" value=\"M\"/></msInstrument>\n");
    TempDir dir;
    for (const auto& [name, text] : {std::pair{"indexed", indexed},
                                     {"searched", searched},
                                     {"cut", indexed.substr(0, indexed.size() / 2)}}) {
        SCOPED_TRACE(name);
        expect_same_both_ways(dir.write(name, text));
    }
}

// Files of many blocks, read in order (each block read ahead while the one
// before is worked through) and out of order (reads ahead dropped), with a
// scan larger than a block among them, and scans whose peak data a header
// read skips.
TEST(ReadingPaths, ManyBlocksReadTheSameInAnyOrder) {
    std::vector<ScanSpec> scans;
    for (int n = 0; n < 1500; ++n) {
        // Every tenth scan large enough that a header read leaves its peak
        // data unread.
        std::vector<double> values;
        for (int i = 0; i < (n % 10 == 0 ? 2500 : 100 + n % 7 * 40); ++i)
            values.insert(values.end(), {100.0 + n + i * 0.5, 1.0 * i});
        scans.push_back({.ms_level = n % 10 == 0 ? 1 : 2, .values = values});
    }
    std::vector<double> many;
    for (int i = 0; i < 70000; ++i)
        many.insert(many.end(), {100.0 + i * 0.01, 1.0 * i});
    scans[700].values = many;
    // A large scan whose header goes on past what a header read takes first.
    scans[710].extra_attributes =
        "filterLine=\"" + std::string(6000, 'x') + "\" totIonCurrent=\"3\"";
    const auto [indexed, searched] = both_forms(scans, static_cast<int>(scans.size()));
    TempDir dir;
    for (const auto& [name, text] : {std::pair{"indexed", indexed}, {"searched", searched}}) {
        SCOPED_TRACE(name);
        ASSERT_GT(text.size(), 4u << 20);
        const auto path = dir.write(name, text);
        expect_same_both_ways(path);
        expect_same_both_ways(path, 7);
    }
}

// Scans whose start tags another program rewrote after the open are refused,
// whichever thread read their bytes: the look-ahead decodes no peaks from
// bytes that lost the scan's tag or hold a NUL before its end. The changes
// stop a block short of the end: the open ends holding the file's last
// bytes, which may serve the last scans as they were.
TEST(ReadingPaths, ScanTagsRewrittenAfterOpenAreRefusedEveryWay) {
#ifdef _WIN32
    GTEST_SKIP() << "a file the reader has open cannot be changed on Windows";
#endif
    std::vector<ScanSpec> scans;
    for (int n = 0; n < 6000; ++n) {
        std::vector<double> values;
        for (int i = 0; i < 100; ++i)
            values.insert(values.end(), {100.0 + n + i * 0.5, 1.0 * i});
        scans.push_back({.values = values});
    }
    const std::string written = both_forms(scans, static_cast<int>(scans.size())).first;
    ASSERT_GT(written.size(), 6 * FileView::BLOCK);
    std::string changed = written;
    std::size_t n = 0;
    for (std::size_t at = changed.find("<scan "); n < 4500;
         at = changed.find("<scan ", at + 1), ++n) {
        if (n % 3 == 1)
            changed[at + 1] = 'x';
        else if (n % 3 == 2)
            changed[changed.find('>', at) - 1] = '\0';
    }
    TempDir dir;
    for (const Way way : {Way::REFERENCE, Way::FAST, Way::THOROUGH}) {
        SCOPED_TRACE(static_cast<int>(way));
        const auto path = dir.write("changed", written);
        MzXMLReader reader;
        reader.use_reference_paths(way == Way::REFERENCE);
        if (way == Way::THOROUGH)
            ReaderAccess::look_ahead_thoroughly(reader);
        ASSERT_TRUE(reader.open(path.wstring(), false, {}, {}));
        std::ofstream(path, std::ios::in | std::ios::out | std::ios::binary) << changed;
        for (std::uint32_t scan = 1; scan <= reader.scan_count(); ++scan) {
            bool centroided = false;
            std::vector<Peak> peaks;
            const PeakRead read = reader.read_peaks_into(scan, centroided, peaks, 1.0, {});
            const bool kept = scan > 4500 || scan % 3 == 1;
            EXPECT_EQ(read.refusal.empty(), kept) << "scan " << scan;
            EXPECT_EQ(read.values, kept ? 100u : 0u) << "scan " << scan;
        }
    }
}

// Index lines as writers write them and otherwise: a carriage return, a
// tab, a blank in the tag, a comment after the element, a wrong id.
TEST(ReadingPaths, IndexLinesReadTheSameBothWays) {
    std::vector<ScanSpec> scans(7, ScanSpec{.values = {100, 1}});
    const std::string indexed = both_forms(scans, static_cast<int>(scans.size())).first;
    const auto variant = [&](int id, const std::string& before, const std::string& after) {
        std::string text = indexed;
        const std::string tag = "<offset id=\"" + std::to_string(id) + "\">";
        const std::size_t at = text.rfind(tag);
        const std::size_t feed = text.find('\n', at);
        EXPECT_NE(at, std::string::npos);
        const std::string line = text.substr(at, feed - at);
        std::string changed = line;
        changed.replace(0, before.empty() ? 0 : tag.size(), before);
        text.replace(at, line.size(), changed + after);
        return text;
    };
    TempDir dir;
    int n = 0;
    for (const std::string& text :
         {indexed, variant(2, "", "\r"), variant(3, "\t<offset id=\"3\">", ""),
          variant(4, "<offset id=\"4\" >", ""), variant(5, "", "<!-- 5 -->"),
          variant(6, "<offset id=\"9\">", ""), variant(7, "<offset  id=\"7\">", " \t")}) {
        SCOPED_TRACE(n);
        expect_same_both_ways(dir.write("index" + std::to_string(n++), text));
    }
}

// A file whose index lists enough scans for the first headers to be read
// while the index is: those give what the header pass gives, up to the
// first scan whose header one pass does not read (a precursor over lines),
// after which the header pass reads on.
TEST(ReadingPaths, ManyBlocksWithHeadersReadWhileTheIndexIsRead) {
    constexpr int SCANS = 17000;
    constexpr int OVER_LINES = 9000;
    std::vector<ScanSpec> scans;
    for (int n = 0; n < SCANS; ++n) {
        ScanSpec scan{.values = {100.0 + n, 1.0 * n}};
        scan.retention_time = "PT" + std::to_string(n) + ".25S";
        scan.extra_attributes = "totIonCurrent=\"" + std::to_string(n * 3) + "\"";
        if (n % 3 != 0) {
            scan.ms_level = 2;
            scan.polarity = n % 2 == 0 ? "+" : "-";
            scan.precursor = "<precursorMz precursorCharge=\"" + std::to_string(n % 4) + "\">" +
                             std::to_string(400 + n) + ".5</precursorMz>";
        }
        scans.push_back(scan);
    }
    scans[OVER_LINES].precursor = "<precursorMz>\n445.5\n</precursorMz>";
    TempDir dir;
    const auto path = dir.write("many scans", both_forms(scans, SCANS).first);
    MzXMLReader reader;
    ReaderAccess::look_ahead_thoroughly(reader);
    ASSERT_TRUE(reader.open(path.wstring(), false, {}, {}));
    EXPECT_EQ(ReaderAccess::headers_read_early(reader), std::size_t{OVER_LINES});
    // The records the open made, against those of the exact reader's headers.
    const std::vector<ScanRecord> early = reader.take_early_records();
    MzXMLReader exact;
    exact.use_reference_paths(true);
    ASSERT_TRUE(exact.open(path.wstring(), false, {}, {}));
    ASSERT_EQ(early.size(), std::size_t{SCANS});
    for (std::uint32_t n = 1; n <= SCANS; ++n) {
        ScanHeader header;
        ASSERT_TRUE(exact.read_scan_header(n, header));
        const ScanRecord want = record_of(header);
        const ScanRecord& got = early[n - 1];
        ASSERT_EQ(std::tuple(got.scan_type.ms_level, got.scan_type.polarity, got.retention_time,
                             got.total_ion_current, got.precursor_mz, got.precursor_charge),
                  std::tuple(want.scan_type.ms_level, want.scan_type.polarity, want.retention_time,
                             want.total_ion_current, want.precursor_mz, want.precursor_charge))
            << "scan " << n;
    }
    expect_same_both_ways(path);
}

// Files of many small scans in each real converter's layout, with their
// index and without, in order and out of it: the one-pass reads and the
// look-ahead give what the exact reader gives.
TEST(ReadingPaths, ConverterLayoutsReadTheSameBothWays) {
    TempDir dir;
    for (const std::string layout : CONVERTER_LAYOUTS) {
        for (const std::string index : {"", " --no-index"}) {
            SCOPED_TRACE(layout + index);
            const auto path = generated_file(dir, layout + ".mzXML",
                                             "--scans 4000 --ms1-peaks 60 --ms2-peaks 8 --layout " +
                                                 layout + index);
            if (path.empty())
                GTEST_SKIP() << "no generator in this build: the layouts are read on Linux";
            ASSERT_GT(std::filesystem::file_size(path), 2u * FileView::BLOCK);
            expect_same_both_ways(path, index.empty() ? 1 : 7);
        }
    }
}

TEST(ReadingPaths, CorpusReadsTheSameBothWays) {
    const auto dir = corpus_dir();
    if (dir.empty())
        GTEST_SKIP() << "corpus folder absent (set ORVO_CORPUS_DIR): real files not compared";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".mzXML")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        expect_same_both_ways(entry.path());
    }
}

// Start tags written one attribute a line, as instrument converters write
// them: the one-pass read of the tag's lines gives what the line reader
// gives, also where the lines are not plain and the line reader decides.
TEST(ReadingPaths, MultiLineStartTagsReadTheSameBothWays) {
    const std::string next = "\n          ";
    const std::string long_value(2500, 'x'); // a line read in three pieces
    const auto converter = [](ScanSpec spec) {
        spec.multi_line_start_tag = true;
        spec.peaks_attributes = "precision=\"" + std::to_string(spec.precision) +
                                "\"\n             byteOrder=\"network\"\n             "
                                "pairOrder=\"m/z-int\"";
        if (spec.values.empty() && !spec.peaks_count)
            spec.values = {150, 1, 250, 2};
        return spec;
    };
    std::vector<ScanSpec> scans = {
        converter({.extra_attributes = "scanType=\"Full\"" + next + "lowMz=\"150\"" + next +
                                       "totIonCurrent=\"3\""}),
        converter({.ms_level = 2,
                   .extra_attributes = "collisionEnergy=\"35\"" + next + "totIonCurrent=\"7e2\"",
                   .precursor = "<precursorMz precursorIntensity=\"5\" "
                                "precursorCharge=\"2\">445.5</precursorMz>"}),
        // the same names on later lines: the last line wins, the first centroiding,
        // a retention time that does not read keeps the one before
        converter({.extra_attributes = "msLevel=\"2\"" + next + "retentionTime=\"P1D\"" + next +
                                       "centroided=\"1\"" + next + "centroided=\"0\"" + next +
                                       "polarity=\"-\" polarity=\"+\"" + next +
                                       "polarity=\"any\""}),
        // a num naming another scan after values were read
        converter({.extra_attributes = "totIonCurrent=\"9\"" + next + "num=\"77\""}),
        // values not closed on their line, a "=" ending a line, a name before a line feed
        converter({.extra_attributes = "totIonCurrent=\"4" + next + "\" x=" + next +
                                       "\"1\" msLevel" + next + "=\"3\""}),
        // a ">" inside a value, a NUL, a tab, a carriage return
        converter({.extra_attributes = "filterLine=\"a>b\"" + next + "totIonCurrent=\"5\""}),
        converter({.extra_attributes = std::string("x=\"\0\"", 5) + next + "totIonCurrent=\"6\""}),
        converter({.extra_attributes = "\ttotIonCurrent=\"8\"\r" + next + "centroided=\"true\"\r"}),
        // a line longer than a line read; the tag's end on the peaks line
        converter({.extra_attributes = "filterLine=\"" + long_value + "\" totIonCurrent=\"2\"" +
                                       next + "centroided=\"1\""}),
        converter({.extra_attributes = "lowMz=\"1\"\"><peaks precision=\"32\" "
                                       "byteOrder=\"network\" pairOrder=\"m/z-int\"></peaks x=\""}),
        converter({.extra_attributes = "totIonCurrent=\"1\"><precursorMz>5</precursorMz x=\""}),
        // a tag longer than the bytes read for it at once
        converter({.extra_attributes = "a=\"" + long_value + "\"" + next + "b=\"" + long_value +
                                       "\"" + next + "totIonCurrent=\"11\""}),
        // after the tag: a precursor over two lines, one the peaks line ends,
        // lines of other elements with the header's names, a num naming
        // another scan there, and a line longer than a line read
        converter({.ms_level = 2,
                   .precursor = "<precursorMz precursorCharge=\"3\">\n445.5</precursorMz>"}),
        converter({.ms_level = 2, .precursor = "<precursorMz precursorCharge=\"2\">301.5"}),
        converter({.ms_level = 2,
                   .precursor = "<nameValue name=\"a\" centroided=\"1\"/>\n      <precursorMz "
                                "precursorCharge=\"2\">300</precursorMz>\n      <x msLevel=\"3\" "
                                "totIonCurrent=\"4\" polarity=\"-\"/>"}),
        converter({.precursor = "<x totIonCurrent=\"4\" num=\"99\"/>"}),
        converter({.precursor = "<x filterLine=\"" + long_value + "\" totIonCurrent=\"12\"/>"}),
    };
    const auto [indexed, searched] = both_forms(scans, static_cast<int>(scans.size()));
    TempDir dir;
    for (const auto& [name, text] : {std::pair{"indexed", indexed}, {"searched", searched}}) {
        SCOPED_TRACE(name);
        const auto fast = read_everything(dir.write(name, text), Way::FAST);
        expect_same_both_ways(dir.write(name, text));
        // The cases are read at all: every scan is listed.
        EXPECT_GE(fast.size(), scans.size() + 2);
    }
}

// Three scans with multi-line start tags, the second with a tag line longer
// than a line read; with an index and without.
std::pair<std::string, std::string> multi_line_tags() {
    const std::string next = "\n          ";
    const std::vector<ScanSpec> scans = {
        {.values = {150, 1}, .multi_line_start_tag = true},
        {.ms_level = 2,
         .extra_attributes = "scanType=\"Full\"" + next + "filterLine=\"" + std::string(2200, 'y') +
                             "\" totIonCurrent=\"12\"" + next + "centroided=\"1\"",
         .values = {150, 1, 250, 2},
         .precursor = "<precursorMz precursorCharge=\"3\">445.5</precursorMz>",
         .multi_line_start_tag = true},
        {.values = {350, 3}, .multi_line_start_tag = true},
    };
    return both_forms(scans, static_cast<int>(scans.size()));
}

// Where those files are cut: every byte of the first scan's tag, both sides
// of every line feed of the second's, and around every piece boundary of
// its long line.
std::vector<std::size_t> cuts_of(const std::string& text) {
    const std::size_t tag = text.find("<scan num=\"2\"");
    const std::size_t peaks = text.find("<peaks", tag);
    const std::size_t long_line = text.rfind('\n', text.find("yyyy", tag)) + 1;
    std::vector<std::size_t> cuts;
    for (std::size_t at = text.find("<scan num=\"1\""); at <= text.find("<peaks"); ++at)
        cuts.push_back(at);
    for (std::size_t piece = long_line; piece < peaks; piece += LineCursor::LINE_BUFFER_SIZE - 1)
        for (std::size_t at = piece - 2; at <= piece + 2; ++at)
            cuts.push_back(at);
    for (std::size_t at = text.rfind('\n', tag); at <= peaks; at = text.find('\n', at + 1))
        for (std::size_t near = at - 1; near <= at + 1; ++near)
            cuts.push_back(near);
    return cuts;
}

// The scan headers of `text`, read after the file was changed to `changed`
// while open; the open reads none, as `text` has no index.
std::vector<std::wstring> headers_after_change(const std::string& text, const std::string& changed,
                                               bool reference) {
    TempDir dir;
    const auto path = dir.write("run", text);
    MzXMLReader reader;
    reader.use_reference_paths(reference);
    RecordingSocket events;
    std::vector<std::wstring> log;
    const bool opened = reader.open(path.wstring(), false, events.socket, {});
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.write(changed.data(), static_cast<std::streamsize>(changed.size()));
    }
    std::filesystem::resize_file(path, changed.size());
    for (std::uint32_t n = 1; opened && n <= reader.scan_count(); ++n) {
        ScanHeader h;
        std::wostringstream line;
        line.precision(17);
        line << reader.read_scan_header(n, h) << L' ' << h.msLevel << L' ' << h.polarity << L' '
             << h.retentionTime << L' ' << h.precursorMz << L' ' << h.precursorCharge << L' '
             << h.totalIonCurrent << L' ' << h.centroided;
        log.push_back(line.str());
    }
    log.push_back(std::to_wstring(opened) + L' ' + std::to_wstring(events.listener.events.size()));
    return log;
}

// Multi-line start tags cut anywhere before the file is opened (the index
// then built by search): the same values, events and failures both ways.
TEST(ReadingPaths, CutMultiLineStartTagsReadTheSameBothWays) {
    const auto [indexed, searched] = multi_line_tags();
    TempDir dir;
    for (const std::size_t cut : cuts_of(indexed)) {
        SCOPED_TRACE(cut);
        expect_same_both_ways(dir.write("cut", indexed.substr(0, cut)));
    }
    expect_same_both_ways(dir.write("whole", indexed));
}

// The same cuts made while the file is open, and scans overwritten in place
// so that a listed scan's bytes start with another tag or a line feed: the
// same headers and failures both ways.
TEST(ReadingPaths, MultiLineStartTagsChangedAfterOpenReadTheSameBothWays) {
#ifdef _WIN32
    GTEST_SKIP() << "a file the reader has open cannot be changed on Windows";
#endif
    const auto [indexed, searched] = multi_line_tags();
    std::set<std::vector<std::wstring>> outcomes;
    for (const std::size_t cut : cuts_of(indexed)) {
        SCOPED_TRACE(cut);
        const std::string changed = searched.substr(0, cut);
        const auto fast = headers_after_change(searched, changed, false);
        EXPECT_EQ(fast, headers_after_change(searched, changed, true));
        outcomes.insert(fast);
    }
    // The cuts reach the scans' values and failures in several ways.
    EXPECT_GE(outcomes.size(), 4u);
    const std::size_t second = searched.find("<scan num=\"2\"");
    for (const std::string other : {"<peaks precision=\"32\"\n msLevel=\"7\">\n",
                                    "<precursorMz>\n msLevel=\"7\">\n", "\n<x msLevel=\"7\">\n"}) {
        SCOPED_TRACE(other);
        const std::string changed = std::string(searched).replace(second, other.size(), other);
        EXPECT_EQ(headers_after_change(searched, changed, false),
                  headers_after_change(searched, changed, true));
    }
}

// `text` with every scan and peaks start tag laid out again: one attribute a
// line (`separator` a line feed and blanks) or all on one line (a blank).
// Offsets move, so a file's own index no longer fits and is replaced by search.
std::string relaid(const std::string& text, const std::string& separator) {
    std::string out;
    std::size_t done = 0;
    for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
        if (text.compare(at, 6, "<scan ") != 0 && text.compare(at, 6, "<scan\n") != 0 &&
            text.compare(at, 7, "<peaks ") != 0 && text.compare(at, 7, "<peaks\n") != 0)
            continue;
        const std::size_t end = text.find('>', at);
        if (end == std::string::npos)
            break;
        out.append(text, done, at - done);
        bool quoted = false, blank = false;
        for (std::size_t i = at; i < end; ++i) {
            const char c = text[i];
            if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
                blank = true;
                continue;
            }
            if (blank)
                out += separator;
            blank = false;
            quoted = c == '"' ? !quoted : quoted;
            out += c;
        }
        done = at = end;
    }
    return out.append(text, done);
}

// Every corpus file in both layouts, whichever it was written in.
TEST(ReadingPaths, CorpusInBothLayoutsReadsTheSameBothWays) {
    const auto dir = corpus_dir();
    if (dir.empty())
        GTEST_SKIP() << "corpus folder absent (set ORVO_CORPUS_DIR): real files not compared";
    TempDir out;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".mzXML")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        const std::string converter = relaid(text, "\n          ");
        const std::string compact = relaid(text, " ");
        // A file with scans comes out in two layouts.
        if (text.find("<scan") != std::string::npos) {
            EXPECT_NE(converter, compact) << entry.path();
        }
        for (const auto& [layout, bytes] :
             {std::pair{"converter", converter}, {"compact", compact}}) {
            SCOPED_TRACE(entry.path().filename().string() + ", " + layout);
            expect_same_both_ways(out.write(layout, bytes));
        }
        ++files;
    }
    EXPECT_GT(files, 0);
}

// Where `what` starts in its line of `text`.
std::size_t column(const std::string& text, const std::string& what) {
    const std::size_t at = text.find(what);
    return at - (text.rfind('\n', at) + 1);
}

// A value that a 1023-byte piece boundary cuts (its name, its "=" or its
// digits) is found in the piece where its name starts and read whole.
TEST(ReadingPaths, ValuesAcrossPieceBoundariesReadWhole) {
    for (std::size_t start = 1005; start <= 1024; ++start) {
        SCOPED_TRACE(start);
        ScanSpec spec{.ms_level = 2,
                      .extra_attributes = "totIonCurrent=\"123456.5\"",
                      .values = {150, 1},
                      .precursor = "<precursorMz>812.25</precursorMz>"};
        const std::string plain = MzXmlWriter::scan_element(spec, 1);
        spec.extra_attributes.insert(0, start - column(plain, "totIonCurrent"), ' ');
        spec.precursor->insert(13, start - column(plain, "812.25"), ' ');
        ScanFile file({spec});
        ASSERT_EQ(column(file.writer.str(), "totIonCurrent"), start);
        ScanHeader h;
        ASSERT_TRUE(file.reader.read_scan_header(1, h));
        EXPECT_EQ(std::tuple(h.totalIonCurrent, h.precursorMz), std::tuple(123456.5, 812.25));

        TempDir dir;
        MzXMLReader reader;
        const std::string head = "<?xml?><mzXML mzXML_2.1><msRun ";
        const std::string text =
            head + std::string(start - head.size(), ' ') + "scanCount=\"4711\">\n";
        ASSERT_TRUE(reader.open(dir.write("f", text).wstring(), true, {}, {}));
        EXPECT_TRUE(reader.read_scan_count({}));
        EXPECT_EQ(reader.scan_count(), 4711u);
    }
}

} // namespace
} // namespace fixture
