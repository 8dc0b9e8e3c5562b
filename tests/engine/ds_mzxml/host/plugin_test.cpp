// The plug-in loaded with dlopen (LoadLibraryW on Windows), found by its
// mangled name, driven as a host.
#include "loaded_plugin.h"

#include <ds/messages.h>

#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

using orvoeng::NO_CHARGE;
using orvoeng::NO_LABEL;
using Source = orvoeng::DataSourceIntf;
using Options = orvoeng::PeakListOptions;
using Failure = std::tuple<std::uint32_t, std::uint32_t, std::vector<std::wstring>>;

using fixture::entry_point;
namespace msg = orvoeng::msg;

// Windows opens the file shared for reading only: nothing can change it while
// the plug-in has it open.
#ifdef _WIN32
constexpr bool WRITERS_LOCKED_OUT = true;
#else
constexpr bool WRITERS_LOCKED_OUT = false;
#endif
const auto create = fixture::create_data_source;

// What `call` raised, caught by type: the exception classes live in the shared
// platform library, so the module and this program agree on their identity.
Failure raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const PAL::AppError& e) {
        return {e.code, e.message.id, e.message.args};
    }
    return {};
}

std::string processing(const char* centroided, const std::string& software = "w",
                       const std::string& time = "") {
    return std::string("<dataProcessing centroided=\"") + centroided + "\">\n<software name=\"" +
           software + "\" type=\"conversion\"" +
           (time.empty() ? "" : " completionTime=\"" + time + "\"") + "/>\n</dataProcessing>\n";
}

std::string mzxml(const std::vector<fixture::ScanSpec>& scans,
                  const std::string& head = processing("1")) {
    fixture::MzXmlWriter writer;
    writer.begin(static_cast<int>(scans.size())).text(head);
    for (const auto& scan : scans)
        writer.scan(scan);
    return writer.end_run().index().str();
}

// `precursor`: the precursorMz element's text after its name.
fixture::ScanSpec scan(int level, const std::string& precursor = "",
                       std::vector<double> values = {100.0, 10.0}) {
    fixture::ScanSpec result;
    result.ms_level = level;
    result.values = std::move(values);
    if (!precursor.empty())
        result.precursor = "<precursorMz" + precursor + "</precursorMz>";
    return result;
}

// A data source opened on `path` with selector 1; `failure` is what that raised.
struct Opened {
    explicit Opened(const std::filesystem::path& path, Options opts = {}, std::uint32_t first = 1,
                    const PAL::SmartPtr<PAL::EventSocket>& events = {},
                    const PAL::SmartPtr<PAL::Progress>& progress = {}) {
        failure = raised(
            [&] { scans = *source->open_file(path.wstring(), 1, &opts, first, events, progress); });
    }
    std::unique_ptr<Source> source = create();
    std::vector<orvoeng::ScanRecord> scans;
    Failure failure;
};

// What raising `def` with `args` gives.
Failure fails(const orvoeng::msg::MessageDef& def, std::vector<std::wstring> args = {}) {
    return {def.code, def.id, std::move(args)};
}

Failure no_scan(std::uint32_t label) {
    return fails(msg::NO_SUCH_LABEL, {std::to_wstring(label)});
}
const Failure not_open = fails(msg::NOT_OPEN), already_open = fails(msg::ALREADY_OPEN);

TEST(Entry, VersionTwentyGivesOneFactoryOthersNullAndOneErrorEvent) {
    auto* const factory = entry_point()(20, {});
    ASSERT_NE(factory, nullptr);
    for (unsigned int version : {19u, 20u, 0u}) {
        fixture::RecordingSocket sink;
        EXPECT_EQ(entry_point()(version, sink.socket), version == 20 ? factory : nullptr);
        EXPECT_EQ(sink.listener.events.size(), version == 20 ? 0u : 1u);
        for (const auto& e : sink.listener.events)
            EXPECT_EQ(std::tuple(e.kind, e.level, e.id, e.args),
                      std::tuple(PAL::Event::MSG_EVENT, msg::WRONG_VERSION.level,
                                 msg::WRONG_VERSION.id, std::vector<std::wstring>{L"mzXML"}));
    }
}

// New allows none of operations 4 to 13, Peeked the first four, Listed all.
TEST(States, EachStateAllowsItsOperationsAndRefusesTheRest) {
    fixture::TempDir dir;
    const auto file = dir.write("one.mzXML", mzxml({scan(1)})).wstring();
    const Options opts;
    orvoeng::RawSpecInfo info;
    std::vector<std::function<void(Source&)>> operations = {
        &Source::data_set_count,        &Source::get_instrument_info,
        &Source::get_completion_time,   &Source::is_open,
        &Source::is_centroided,         &Source::get_scan_mix,
        &Source::listed_data_set_count, &Source::get_scan_count};
    operations.push_back([&](Source& s) { s.get_raw_spec_info(1, 0, info); });
    operations.push_back([](Source& s) { s.get_spectrum(1, 0, {}); });
    const decltype(operations) opens = {[&](Source& s) { s.peek_file(file, 1, {}); },
                                        [&](Source& s) { s.open_file(file, 1, &opts, 1, {}, {}); }};
    for (std::size_t allowed : {0u, 4u, 10u}) {
        auto source = create();
        if (allowed > 0)
            opens[allowed / 10](*source);
        for (std::size_t i = 0; i < operations.size(); ++i)
            EXPECT_EQ(raised([&] { operations[i](*source); }), i < allowed ? Failure() : not_open)
                << allowed << i;
        for (std::size_t i = 0; allowed > 0 && i < opens.size(); ++i)
            EXPECT_EQ(raised([&] { opens[i](*source); }), already_open);
    }
}

// Selector 2, a missing file, another format or version, a path the code page
// cannot hold (classic locale for one the machine lacks): refused, still New.
TEST(States, RefusedOpensLeaveTheObjectNew) {
    fixture::TempDir dir;
    const auto good = dir.write("one.mzXML", mzxml({scan(1)})).wstring();
    const auto missing = (dir.path() / "missing.mzXML").wstring();
    const auto mgf = dir.write("a.mgf", "BEGIN IONS\n100.0 10.0\nEND IONS\n").wstring();
    fixture::MzXmlWriter v3_writer("mzXML_3.2");
    v3_writer.begin(1).scan(scan(1)).end_run().index();
    const auto v3 = dir.write("v3.mzXML", v3_writer.str()).wstring();
    const auto bad = dir.path().wstring() + L"/r\u00e9sum\u00e9-\u4e2d.mzXML";
    const auto folder = dir.path().wstring();
    const auto nul = good + std::wstring(1, L'\0') + L".more";
    const std::wstring schema = L"Document does not conform to version 2.0 of mzXML schema",
                       reason = L"Character sequence invalid or has no mapping";
    const auto unmapped = [&](const wchar_t* locale, wchar_t c) {
        return fails(msg::PATH_NOT_CONVERTIBLE,
                     {locale, bad, reason, std::to_wstring(bad.find(c))});
    };
    std::vector<std::tuple<const char*, std::wstring, int, Failure>> cases = {
        {"C", good, 2, fails(msg::BAD_SELECTOR)},
        {"C", missing, 1, fails(msg::FILE_REFUSED, {missing})},
        {"C", mgf, 1, fails(msg::FILE_REFUSED_BECAUSE, {mgf, schema})},
        {"C", v3, 1, fails(msg::FILE_REFUSED_BECAUSE, {v3, schema})},
        // Not regular files: refused at once.
        {"C", folder, 1, fails(msg::FILE_REFUSED, {folder})},
        // The OS would open the file named by the part before the NUL.
        {"C", nul, 1, fails(msg::FILE_REFUSED, {nul})}};
#ifdef _WIN32
    // A device by its reserved name. The user's code page is the system's
    // ANSI one whatever LC_ALL says, and the user's locale has no name.
    cases.push_back({"C", L"NUL", 1, fails(msg::FILE_REFUSED, {L"NUL"})});
    if (::GetACP() == 1252)
        cases.push_back({"C", bad, 1, unmapped(L"*", L'\u4e2d')});
    else
        std::printf("[ SKIPPED  ] the unmapped-path case needs the 1252 code page, not %u\n",
                    ::GetACP());
#else
    // A FIFO without waiting for a writer, and a device.
    const auto fifo = (dir.path() / "pipe.mzXML").wstring();
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.mzXML").c_str(), 0600), 0);
    cases.insert(cases.end(), {{"C", fifo, 1, fails(msg::FILE_REFUSED, {fifo})},
                               {"C", L"/dev/null", 1, fails(msg::FILE_REFUSED, {L"/dev/null"})},
                               {"xx_YY.NOPE-8", bad, 1, unmapped(L"C", L'\u00e9')},
                               {"en_US.iso88591", bad, 1, unmapped(L"en_US.iso88591", L'\u4e2d')}});
#endif
    const Options opts;
    for (const auto& [locale, path, selector, failure] : cases) {
        if (locale == std::string("en_US.iso88591") && !fixture::has_locale(locale))
            GTEST_SKIP() << "locale en_US.iso88591 is not installed";
        fixture::ScopedEnv lc_all("LC_ALL", locale);
        auto source = create();
        auto peek = [&, p = path, n = selector] { source->peek_file(p, n, {}); };
        auto open = [&, p = path, n = selector] { source->open_file(p, n, &opts, 1, {}, {}); };
        EXPECT_EQ(std::vector({raised(peek), raised(open), raised([&] { source->is_open(); })}),
                  std::vector({failure, failure, not_open}));
    }
}

// Labels from first_label 100, parents, charges judged on the full value (a
// 16-bit cut makes 65539 a 3), the walk's start event and progress; scan mix.
TEST(ScanWalk, LabelsParentsChargesAndScanMix) {
    std::vector<fixture::ScanSpec> scans = {scan(1), scan(2, " precursorCharge=\"2\">445.5"),
                                            scan(2, ">446.25"), scan(1),
                                            scan(2, " precursorCharge=\"3\">512")};
    std::vector<std::tuple<std::uint32_t, double, std::int16_t>> expected = {
        {NO_LABEL, 0.0, NO_CHARGE}, {100, 445.5, 2}, {100, 446.25, NO_CHARGE},
        {NO_LABEL, 0.0, NO_CHARGE}, {103, 512.0, 3},
    };
    const std::vector<std::pair<std::string, std::int16_t>> charges = {
        {"-3", -3},        {"40", 40},         {"-40", -40},         {"0", NO_CHARGE},
        {"41", NO_CHARGE}, {"-41", NO_CHARGE}, {"65539", NO_CHARGE}, {"-65533", NO_CHARGE}};
    for (const auto& [text, charge] : charges) {
        scans.push_back(scan(2, " precursorCharge=\"" + text + "\">400"));
        expected.emplace_back(103, 400.0, charge);
    }
    fixture::TempDir dir;
    fixture::RecordingSocket sink;
    PAL::SmartPtr<PAL::Progress> root(new PAL::Progress(
        sink.socket, PAL::Message(0x4C020001) /* the host's own: no plug-in name */, 1, 1));
    Opened run(dir.write("run.mzXML", mzxml(scans)), {}, 100, sink.socket, root);
    const auto done = sink.listener.percentages();
    const auto starts = sink.listener.with_id(msg::SCAN_WALK.id);
    EXPECT_EQ(std::tuple(done.empty() ? 0 : done.back(), starts.size(), starts.at(0).level),
              std::tuple(100, 1u, msg::SCAN_WALK.level));
    ASSERT_EQ(run.scans.size(), expected.size());
    for (std::uint32_t i = 0; i < expected.size(); ++i) {
        const auto& r = run.scans[i];
        EXPECT_EQ(std::tuple(r.parent_label, r.precursor_mz, r.precursor_charge), expected[i]);
        EXPECT_EQ(std::tuple(r.label, r.file_position, r.format_code, r.scan_type.ms_level),
                  std::tuple(100 + i, i + 1, 4u, std::int16_t(scans[i].ms_level)));
    }
    EXPECT_EQ(run.source->get_scan_mix(), 5);
    EXPECT_EQ(run.source->get_spectrum(112, 0, {})->peaks->size(), 1u);
    for (std::uint32_t label : {99u, 113u})
        EXPECT_EQ(raised([&] { run.source->get_spectrum(label, 0, {}); }), no_scan(label));

    const std::vector<std::pair<std::vector<int>, int>> mixes = {
        {{1}, 0},     {{2}, 2},    {{3}, -1},   {{1, 1}, 1}, {{2, 2}, 3},
        {{3, 3}, -1}, {{1, 3}, 1}, {{2, 3}, 3}, {{}, -1},
    };
    for (const auto& [levels, mix] : mixes) {
        std::vector<fixture::ScanSpec> only;
        for (int level : levels)
            only.push_back(scan(level));
        Opened listed(dir.write("mix.mzXML", mzxml(only)));
        EXPECT_EQ(listed.source->get_scan_mix(), mix) << ::testing::PrintToString(levels);
    }
}

// A level no record carries fails the walk with the record's assertion,
// wherever it stands: the records before it come from the open, the rest
// from the walk.
TEST(ScanWalk, ALevelNoRecordCarriesFailsTheWalk) {
    fixture::TempDir dir;
    for (const std::vector<int>& levels :
         std::vector<std::vector<int>>{{17}, {1, 2, 0}, {1, 2, 17, 1}, {1, -3, 2}}) {
        std::vector<fixture::ScanSpec> scans;
        for (int level : levels)
            scans.push_back(scan(level));
        const auto path = dir.write("run.mzXML", mzxml(scans));
        try {
            create()->open_file(path.wstring(), 1, nullptr, 1, {}, {});
            ADD_FAILURE() << "listed: " << ::testing::PrintToString(levels);
        } catch (const PAL::AssertFailure& e) {
            EXPECT_EQ(e.text, std::wstring(L"MS level range error"));
        }
    }
    std::vector<fixture::ScanSpec> all;
    for (int level = 1; level <= 16; ++level)
        all.push_back(scan(level));
    Opened run(dir.write("all.mzXML", mzxml(all)));
    ASSERT_EQ(run.scans.size(), 16u);
    EXPECT_EQ(std::tuple(run.scans[0].scan_type.ms_level, run.scans[15].scan_type.ms_level,
                         run.scans[15].label, run.scans[1].parent_label),
              std::tuple(std::int16_t(1), std::int16_t(16), 16u, 1u));
}

// No label above MAX_LABEL; no lookup wraps at the top of the 32-bit range.
TEST(ScanWalk, NoLabelAboveTheLimitAndNoLookupWraps) {
    fixture::TempDir dir;
    const auto path = dir.write(
        "run.mzXML", mzxml({scan(1, "", {101.0, 1.0}), scan(1, "", {102.0, 1.0}), scan(1)}));
    EXPECT_EQ(Opened(path, {}, orvoeng::MAX_LABEL - 2).scans.at(2).label, orvoeng::MAX_LABEL);
    const Failure too_many = fails(msg::LABEL_OVERFLOW);
    EXPECT_EQ(Opened(path, {}, orvoeng::MAX_LABEL - 1).failure, too_many);
    const std::uint32_t first = 0xFFFFFFFE; // first + 3 wraps to 1
    Opened wrapped(path, {}, first);
    EXPECT_EQ(wrapped.failure, too_many); // yet the file is open and its scans reachable
    EXPECT_EQ(wrapped.source->get_spectrum(0xFFFFFFFF, 0, {})->peaks->at(0).mz, 102.0);
    for (std::uint32_t label : {0u, 1u, first - 1})
        EXPECT_EQ(raised([&] { wrapped.source->get_spectrum(label, 0, {}); }), no_scan(label));
}

// mzStar profile data are refused; centroiding comes from the file or the host
// (flag 8), never both or neither; a scan may say it is centroided.
TEST(ScanWalk, CentroidingAndPeakKindFromTheRunTheHostOrTheScan) {
    const Failure ok, conflict = fails(msg::CENTROIDING_CONFLICT),
                      unstated = fails(msg::CENTROIDING_UNKNOWN);
    // Run head, scan attribute, options; failure, or is_centroided and peak kind.
    const std::vector<std::tuple<std::string, std::string, Options, Failure, bool, int>> cases = {
        {processing("0", "mzStar 1.0.4"), "", {}, fails(msg::MZSTAR_PROFILE), false, 0},
        {processing("1", "mzStar 1.0.4"), "", {}, ok, true, 0},
        {processing("1"), "", Options{8, 0, 0, 0, true}, conflict, false, 0},
        {processing("1"), "", Options{1, 0, 0, 0, false}, conflict, false, 0}, // any flag at all
        {"", "", {}, unstated, false, 0},
        {"", "", Options{7, 0, 0, 0, true}, unstated, false, 0},
        {"", "", Options{8, 0, 0, 0, true}, ok, true, 0},
        {"", "", Options{8, 0, 0, 0, false}, ok, false, 3},
        {processing("0"), "centroided=\"1\"", {}, ok, false, 0},
        {processing("0"), "centroided=\"0\"", {}, ok, false, 3},
        {processing("0"), "", {}, ok, false, 3}};
    fixture::TempDir dir;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [head, attribute, opts, failure, run_centroided, kind] = cases[i];
        SCOPED_TRACE(i);
        auto one = scan(1);
        one.extra_attributes = attribute;
        Opened run(dir.write("run.mzXML", mzxml({one}, head)), opts);
        EXPECT_EQ(run.failure, failure);
        if (failure != ok)
            continue;
        const auto spectrum = run.source->get_spectrum(1, 0, {});
        orvoeng::RawSpecInfo info;
        run.source->get_raw_spec_info(1, 0, info);
        EXPECT_EQ(std::tuple(run.source->is_centroided(), spectrum->peak_kind,
                             spectrum->kind_detail, info.centroided),
                  std::tuple(run_centroided, kind, kind == 3 ? 1 : -1, kind == 0));
    }
}

// The m/z 1.0 filter, the fetch event, raw spectrum info read once and then
// cached (a failed fetch caches nothing), a scan without peaks.
TEST(Spectra, FilterEventsCacheAndScansWithoutPeaks) {
    auto filtered = scan(1, "", {0.5, 1.0, 1.0, 2.0, 1.0000001, 3.0, 500.0, 4.0, -7.0, 5.0});
    filtered.precision = 64;
    auto missing = scan(1);
    missing.no_peaks_element = true;
    fixture::TempDir dir;
    const auto path = dir.write("run.mzXML", mzxml({filtered, missing, scan(1, "", {})}));
    Opened run(path);
    fixture::RecordingSocket sink;
    const auto spectrum = run.source->get_spectrum(1, 0, sink.socket);
    const auto& peaks = *spectrum->peaks;
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(std::tuple(peaks[0].mz, peaks[0].intensity, peaks[1].mz, peaks[1].intensity),
              std::tuple(1.0000001, 3.0, 500.0, 4.0));
    const auto read = sink.listener.with_id(msg::PEAKS_READ.id);
    EXPECT_EQ(std::tuple(read.size(), read.at(0).level, read.at(0).args),
              std::tuple(1u, msg::PEAKS_READ.level, std::vector<std::wstring>{L"5", L"1"}));
    EXPECT_TRUE(run.source->get_spectrum(3, 0, {})->peaks->empty()) << "peaksCount 0 is no error";
    const Failure no_peaks = fails(msg::BAD_PEAKS, {L"2", L"Application Error 0xc802001c"});
    EXPECT_EQ(raised([&] { run.source->get_spectrum(2, 0, {}); }), no_peaks);
    // Emptied since it was listed, the file no longer holds the scan.
    const Failure changed =
        fails(msg::BAD_PEAKS, {L"2", L"The file has changed since it was opened"});
    orvoeng::RawSpecInfo info;
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(raised([&] { run.source->get_raw_spec_info(2, 0, info); }),
                  pass == 0 || WRITERS_LOCKED_OUT ? no_peaks : changed);
        run.source->get_raw_spec_info(1, 0, info);
        EXPECT_EQ(std::tuple(info.peak_count, info.centroided), std::tuple(2u, true)) << pass;
        // The open file is now empty; Windows refuses, as the reader shares
        // the file for reading only.
        std::error_code refused;
        std::filesystem::resize_file(path, 0, refused);
        EXPECT_EQ(static_cast<bool>(refused), WRITERS_LOCKED_OUT) << refused.message();
    }
    if (WRITERS_LOCKED_OUT)
        EXPECT_EQ(run.source->get_spectrum(1, 0, {})->peaks->size(), 2u) << "a real fetch reads";
    else
        EXPECT_THROW(run.source->get_spectrum(1, 0, {}), PAL::Exception) << "a real fetch reads";
}

// A host may keep a spectrum's peaks after the spectrum, and every fetch
// makes a spectrum of its own, its other fields as a new one has them; the
// raw spectrum info of a label goes by its place after the first label, and
// a label outside the listing has none.
TEST(Spectra, PeaksOutliveTheirSpectrumAndRawInfoGoesByLabel) {
    fixture::TempDir dir;
    const auto path = dir.write(
        "run.mzXML", mzxml({scan(1, "", {101.0, 1.0}), scan(1, "", {102.0, 2.0, 103.0, 3.0}),
                            scan(2, ">445.5", {104.0, 4.0})}));
    Opened run(path, {}, 7);
    ASSERT_EQ(run.failure, Failure{});
    PAL::SmartPtr<std::vector<orvoeng::Peak>> kept;
    {
        const auto spectrum = run.source->get_spectrum(8, 0, {});
        EXPECT_EQ(std::tuple(spectrum->aux_value, spectrum->aux_number, spectrum->aux_list.size()),
                  std::tuple(0.0, -1, std::size_t{0}));
        kept = spectrum->peaks;
        EXPECT_EQ(kept.pn->use_count, 2);
    }
    EXPECT_EQ(kept.pn->use_count, 1);
    ASSERT_EQ(kept->size(), 2u);
    EXPECT_EQ(std::tuple(kept->at(0).mz, kept->at(1).intensity), std::tuple(102.0, 3.0));
    const auto again = run.source->get_spectrum(8, 0, {});
    EXPECT_NE(again->peaks.get(), kept.get());
    EXPECT_EQ(again->peaks->size(), 2u);
    orvoeng::RawSpecInfo info;
    for (std::uint32_t label : {6u, 10u, 0u})
        EXPECT_EQ(raised([&] { run.source->get_raw_spec_info(label, 0, info); }), no_scan(label));
    run.source->get_raw_spec_info(9, 0, info); // fetched for it
    EXPECT_EQ(std::tuple(info.peak_count, info.centroided), std::tuple(1u, true));
    run.source->get_raw_spec_info(8, 3, info); // any sub key
    EXPECT_EQ(info.peak_count, 2u);
}

// Any white space ends an element's name; compressed peak data, whose sizes
// may happen to fit, are refused with the attribute named.
TEST(Spectra, NamesEndAtAnyWhiteSpaceAndCompressedPeaksAreRefused) {
    const std::string orders = "precision=\"32\" byteOrder=\"network\" pairOrder=\"m/z-int\"";
    auto compressed = scan(1), uncompressed = scan(1);
    compressed.peaks_attributes = orders + " compressionType=\"zlib\"";
    uncompressed.peaks_attributes = orders + " compressionType=\"none\"";
    std::string text =
        mzxml({scan(1), scan(2, " precursorCharge=\"2\">445.5"), compressed, uncompressed});
    // Same lengths, so the index still holds.
    for (const auto& [from, to] : {std::pair{"<peaks ", "<peaks\n"},
                                   {"<precursorMz ", "<precursorMz\t"},
                                   {"<msRun ", "<msRun\r"}})
        for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos;)
            text.replace(at, std::strlen(from), to);
    fixture::TempDir dir;
    Opened run(dir.write("run.mzXML", text));
    ASSERT_EQ(run.failure, Failure{});
    EXPECT_EQ(std::tuple(run.scans.at(1).precursor_mz, run.scans.at(1).precursor_charge),
              std::tuple(445.5, std::int16_t{2}));
    for (std::uint32_t label : {1u, 2u, 4u})
        EXPECT_EQ(run.source->get_spectrum(label, 0, {})->peaks->size(), 1u) << label;
    EXPECT_EQ(raised([&] { run.source->get_spectrum(3, 0, {}); }),
              fails(msg::BAD_PEAKS, {L"3", L"Unsupported compressionType=\"zlib\""}));
}

// Instrument entries in order; completion times, UTC unless zoned; after peek too.
TEST(RunInfo, InstrumentEntriesAndCompletionTimeAfterPeekOrOpen) {
    const auto item = [](const std::string& name, const std::string& value) {
        return "<" + name + " category=\"" + name + "\" value=\"" + value + "\"/>\n";
    };
    const auto instrument = "<msInstrument>\n" + item("msManufacturer", "Maker") +
                            item("msModel", "Model 7") + item("msMassAnalyzer", "Ion Trap") +
                            item("msIonisation", "ESI") + item("msDetector", "EMT") +
                            "<Operator first=\"Ada\" last=\"Byron\"/>\n</msInstrument>\n";
    using Entries = std::vector<std::pair<std::int32_t, std::wstring>>;
    const Entries full = {
        {4, L"Ada Byron"},      {6, L"Maker Model 7"}, {7, L"Ion Trap"},
        {8, L"Ionisation|ESI"}, {8, L"Detector|EMT"},
    };
    const Entries none = {{4, L""}, {6, L" "}, {7, L""}};
    const std::vector<std::tuple<std::string, Entries, std::int64_t, std::wstring>> cases = {
        {instrument + processing("1", "w", "2009-12-24T10:31:07"), full, 1261650667, L""},
        {processing("1", "w", "2009-12-24T12:31:07+02:00"), none, 1261650667, L""},
        {processing("1"), none, 0, L""},
        {processing("1", "w", "2009-12-24T10:31:07Zjunk"), none, 0,
         L"Date/time conversion error: Unused trailing input data (offset 20)"},
        {instrument, full, 0, L"dataProcessing element missing"}};
    fixture::TempDir dir;
    for (const bool peek : {true, false}) {
        for (const auto& [head, entries, seconds, error] : cases) {
            const auto path = dir.write("run.mzXML", mzxml({scan(1)}, head)).wstring();
            auto ds = create();
            const Options opts{head == instrument ? Options::CENTROIDED_GIVEN : 0, 0, 0, 0, false};
            peek ? ds->peek_file(path, 1, {}) : void(ds->open_file(path, 1, &opts, 1, {}, {}));
            auto info = ds->get_instrument_info();
            EXPECT_EQ(info.extract(0).mapped(), path);
            EXPECT_EQ(Entries(info.begin(), info.end()), entries) << head;
            EXPECT_EQ(raised([&, s = seconds] { EXPECT_EQ(ds->get_completion_time(), s); }),
                      error.empty() ? Failure() : fails(msg::NO_COMPLETION_TIME, {error}));
        }
    }
}

// Real files: each lists its scans and spectra, or fails as SOURCES.md's outcome says.
TEST(Corpus, EveryFileOpensAsItsExpectedOutcomeSays) {
    const auto dir = fixture::corpus_dir();
    if (dir.empty())
        GTEST_SKIP() << "no corpus folder (../shared/corpus): real-file checks skipped";
    for (const auto& o : fixture::corpus_outcomes(dir)) {
        const auto path = (dir / o.file).wstring();
        // What the reader's open_state of a refused file makes the plug-in raise.
        const std::wstring reason =
            o.open_state == 1 ? L"Document does not conform to version 2.0 of mzXML schema"
                              : L"File corrupt. Unable to read/create index";
        const Failure expected =
            o.walk_fails_at     ? fails(msg::BAD_SCAN_HEADER, {std::to_wstring(o.walk_fails_at)})
            : o.opens           ? Failure()
            : o.open_state == 0 ? fails(msg::FILE_REFUSED, {path})
                                : fails(msg::FILE_REFUSED_BECAUSE, {path, reason});
        const bool unstated = o.text.find("centroiding not stated") != std::string::npos;
        Opened run(dir / o.file, {unstated ? Options::CENTROIDED_GIVEN : 0u, 0, 0, 0, false});
        EXPECT_EQ(run.failure, expected) << o.file;
        EXPECT_EQ(run.scans.size(), expected == Failure() ? o.scans : 0u) << o.file;
        for (const auto& record : run.scans) {
            const auto spectrum = run.source->get_spectrum(record.label, 0, {});
            for (const auto& peak : *spectrum->peaks)
                ASSERT_GT(peak.mz, 1.0) << o.file;
        }
    }
}

} // namespace
