// A whole host session on one file, driven through a loaded plug-in as a
// host drives it, and how each of its calls ended: the hostile-file, fault
// and block-size tests judge sessions.
#pragma once

#include "loaded_plugin.h"

#include <ds/messages.h>

#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fixture {

using Peaks = std::vector<std::pair<double, double>>;

// How one host call ended.
struct Outcome {
    bool ok = true;
    bool defined = true;
    std::uint32_t id = 0; // the message of an AppError
    std::string what;
    std::vector<std::wstring> args; // the message's arguments
};

inline Outcome attempt(const std::function<void()>& call) {
    const auto text = [](const std::wstring& w) { return std::string(w.begin(), w.end()); };
    try {
        call();
        return {};
    } catch (const PAL::AppError& e) {
        const auto* def = orvoeng::msg::find(e.message.id);
        return {false, def && def->is_error() && def->code == e.code, e.message.id,
                text(e.description()), e.message.args};
    } catch (const PAL::AssertFailure& e) {
        return {false, true, 0, "assertion " + text(e.text), {}};
    } catch (const PAL::Exception& e) {
        return {false, false, 0, "PAL exception " + text(e.description()), {}};
    } catch (const std::exception& e) {
        return {false, false, 0, std::string("std exception ") + e.what(), {}};
    } catch (...) {
        return {false, false, 0, "unknown exception", {}};
    }
}

using Factory = std::unique_ptr<orvoeng::DataSourceIntf> (*)();

// Peek on one data source, then open with a listener and a progress root on
// another, every spectrum, the run info.
struct Session {
    explicit Session(const std::filesystem::path& path, orvoeng::PeakListOptions opts = {},
                     const std::function<void()>& after_open = {},
                     Factory create = create_data_source) {
        const auto name = path.wstring();
        peek = attempt([&] { create()->peek_file(name, 1, sink.socket); });
        auto source = create();
        PAL::SmartPtr<PAL::Progress> root(new PAL::Progress(
            sink.socket, PAL::Message(0x4C020001) /* the host's own: no plug-in name */, 1, 1));
        open = attempt([&] { scans = *source->open_file(name, 1, &opts, 1, sink.socket, root); });
        if (!open.ok)
            return;
        if (after_open)
            after_open();
        for (const auto& record : scans) {
            std::optional<Peaks> peaks;
            fetches.push_back(attempt([&] {
                peaks.emplace();
                const auto spectrum = source->get_spectrum(record.label, 0, sink.socket);
                for (const auto& p : *spectrum->peaks)
                    peaks->emplace_back(p.mz, p.intensity);
            }));
            spectra.push_back(fetches.back().ok ? peaks : std::nullopt);
        }
        info = attempt([&] { instrument = source->get_instrument_info(); });
        instrument.erase(orvoeng::FileName); // the path, which differs from file to file
        time = attempt([&] { completion = source->get_completion_time(); });
    }

    // Whether an error event was posted: a loss the host was told of.
    bool warned() const {
        for (const auto& e : sink.listener.events)
            if (e.kind == PAL::Event::MSG_EVENT && e.level == 1)
                return true;
        return false;
    }
    bool complete() const {
        return peek.ok && open.ok && info.ok && time.ok &&
               std::ranges::all_of(fetches, &Outcome::ok);
    }
    std::vector<const Outcome*> outcomes() const {
        std::vector<const Outcome*> all = {&peek, &open, &info, &time};
        for (const auto& f : fetches)
            all.push_back(&f);
        return all;
    }

    RecordingSocket sink;
    Outcome peek, open, info, time;
    std::vector<orvoeng::ScanRecord> scans;
    std::vector<Outcome> fetches;
    std::vector<std::optional<Peaks>> spectra;
    orvoeng::InstrumentInfo instrument;
    std::int64_t completion = 0;
};

// Every outcome typed, every event one the shared table knows at its level.
inline void expect_defined(const Session& s, const std::string& name) {
    for (const auto* o : s.outcomes())
        EXPECT_TRUE(o->defined) << name << ": " << o->what;
    for (const auto& e : s.sink.listener.events) {
        if (e.kind != PAL::Event::MSG_EVENT)
            continue;
        const auto* def = orvoeng::msg::find(e.id);
        EXPECT_TRUE(def && !def->is_error() && def->level == e.level) << name << std::hex << e.id;
    }
}

// Where `s` read otherwise than `truth`, empty when nowhere: its calls, what
// they gave, the notices and errors it was told. With `failed_calls_excused`
// a call that failed is not compared, nor are the events.
inline std::string differences(const Session& s, const Session& truth,
                               bool failed_calls_excused = false) {
    std::ostringstream why;
    const auto outcomes = s.outcomes();
    const auto expected = truth.outcomes();
    if (!failed_calls_excused) {
        if (outcomes.size() != expected.size())
            why << outcomes.size() << " calls; ";
        for (std::size_t i = 0; i < std::min(outcomes.size(), expected.size()); ++i)
            if (std::tie(outcomes[i]->ok, outcomes[i]->id, outcomes[i]->args) !=
                std::tie(expected[i]->ok, expected[i]->id, expected[i]->args))
                why << "call " << i << " ended in " << outcomes[i]->what << "; ";
        std::vector<std::pair<std::uint32_t, std::vector<std::wstring>>> told, truth_told;
        for (const auto& e : s.sink.listener.events)
            if (e.kind == PAL::Event::MSG_EVENT)
                told.emplace_back(e.id, e.args);
        for (const auto& e : truth.sink.listener.events)
            if (e.kind == PAL::Event::MSG_EVENT)
                truth_told.emplace_back(e.id, e.args);
        if (told != truth_told)
            why << "events differ (" << told.size() << " against " << truth_told.size() << "); ";
    }
    if (s.open.ok && truth.open.ok) {
        if (s.scans.size() != truth.scans.size())
            why << s.scans.size() << " scans listed; ";
        for (std::size_t i = 0; i < std::min(s.scans.size(), truth.scans.size()); ++i) {
            const auto &a = s.scans[i], &b = truth.scans[i];
            if (std::tuple(a.label, a.parent_label, a.retention_time, a.total_ion_current,
                           a.precursor_mz, a.precursor_charge, a.scan_type.ms_level,
                           a.scan_type.polarity) !=
                std::tuple(b.label, b.parent_label, b.retention_time, b.total_ion_current,
                           b.precursor_mz, b.precursor_charge, b.scan_type.ms_level,
                           b.scan_type.polarity))
                why << "header of scan " << i << "; ";
            if (s.spectra[i] && truth.spectra[i] && *s.spectra[i] != *truth.spectra[i])
                why << "peaks of scan " << i << "; ";
        }
    }
    // Without an open the session asks for no run information.
    if (s.open.ok && s.info.ok && truth.info.ok && s.instrument != truth.instrument)
        why << "instrument; ";
    if (s.open.ok && s.time.ok && truth.time.ok && s.completion != truth.completion)
        why << "completion time " << s.completion << "; ";
    return why.str();
}

// A run of `scans` scans, each of `pairs` peaks (MS2 scans with a
// precursor), with run information and, when `indexed`, an index.
inline std::string generated_run(int scans, int pairs, bool indexed = true) {
    MzXmlWriter writer;
    writer.begin(scans).text(
        "<msInstrument>\n<msManufacturer category=\"msManufacturer\" value=\"Maker\"/>\n"
        "<msModel category=\"msModel\" value=\"Model 7\"/>\n</msInstrument>\n"
        "<dataProcessing centroided=\"1\">\n<software type=\"conversion\" name=\"w\" "
        "completionTime=\"2009-12-24T10:31:07\"/>\n</dataProcessing>\n");
    for (int n = 0; n < scans; ++n) {
        ScanSpec scan;
        scan.ms_level = n % 5 == 0 ? 1 : 2;
        scan.retention_time = "PT" + std::to_string(n) + ".25S";
        for (int i = 0; i < pairs; ++i)
            scan.values.insert(scan.values.end(), {100.0 + n + i * 0.5, 1.0 + i});
        if (scan.ms_level == 2)
            scan.precursor = "<precursorMz precursorCharge=\"2\">" + std::to_string(400 + n) +
                             ".5</precursorMz>";
        writer.scan(scan);
    }
    writer.end_run();
    if (indexed)
        writer.index();
    else
        writer.no_index();
    return writer.str();
}

} // namespace fixture
