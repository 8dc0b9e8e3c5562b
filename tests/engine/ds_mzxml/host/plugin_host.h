// What an engine does to use the plug-in: load the built module with dlopen,
// find the export by its mangled name and drive data sources through the
// abstract interface. Also the checks every host test shares.
#pragma once

#include <ds/data_source_intf.h>

#include <pal/exception.h>

#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {

// The module is loaded once per program and never unloaded: data sources
// and shared records made by it may live until the end of the process.
inline orvoeng::GetIntfFactory entry_point() {
    static const orvoeng::GetIntfFactory entry = [] {
        void* module = ::dlopen(ORVO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!module)
            throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
        void* symbol = ::dlsym(module, orvoeng::DS_MZXML_ENTRY_SYMBOL);
        if (!symbol)
            throw std::runtime_error(std::string("dlsym: ") + ::dlerror());
        return reinterpret_cast<orvoeng::GetIntfFactory>(symbol);
    }();
    return entry;
}

inline orvoeng::DataSourceIntfFactory* factory() {
    return entry_point()(orvoeng::DS_INTF_VERSION, PAL::SmartPtr<PAL::EventSocket>());
}

inline std::unique_ptr<orvoeng::DataSourceIntf> create() {
    return std::unique_ptr<orvoeng::DataSourceIntf>(factory()->create());
}

// Wide text for failure messages (non-ASCII shown as '?').
inline std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

inline std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

struct Failure {
    std::uint32_t code;
    std::uint32_t id;
    std::vector<std::wstring> args;
};

// Runs `call` and checks that it raised exactly this PAL::AppError.
template <class Call>
::testing::AssertionResult raises(Call&& call, const Failure& expected) {
    try {
        call();
    } catch (const PAL::AppError& error) {
        if (error.code == expected.code && error.message.id == expected.id &&
            error.message.args == expected.args)
            return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure();
        failure << std::hex << "AppError code 0x" << error.code << " id 0x" << error.message.id
                << std::dec << " args:";
        for (const auto& arg : error.message.args)
            failure << " [" << narrow(arg) << "]";
        return failure;
    } catch (const PAL::Exception& error) {
        return ::testing::AssertionFailure() << "other exception: " << narrow(error.description());
    }
    return ::testing::AssertionFailure() << "nothing raised";
}

// Runs `call` and checks that it raised PAL::AssertFailure with `text`.
template <class Call>
::testing::AssertionResult asserts(Call&& call, const std::wstring& text) {
    try {
        call();
    } catch (const PAL::AssertFailure& error) {
        if (error.text == text)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "assertion text: " << narrow(error.text);
    } catch (const PAL::Exception& error) {
        return ::testing::AssertionFailure() << "other exception: " << narrow(error.description());
    }
    return ::testing::AssertionFailure() << "nothing raised";
}

// ---- files ---------------------------------------------------------------------

// States centroided data for the run, so a host supplies no centroiding.
inline const std::string centroided_run = "    <dataProcessing centroided=\"1\">\n"
                                          "      <software type=\"conversion\" name=\"writer\"/>\n"
                                          "    </dataProcessing>\n";

// An indexed mzXML file with these scans, `head` written before them.
inline std::string mzxml(const std::vector<fixture::ScanSpec>& scans,
                         const std::string& head = centroided_run) {
    fixture::MzXmlWriter writer;
    writer.begin(static_cast<int>(scans.size())).text(head);
    for (const auto& scan : scans)
        writer.scan(scan);
    return writer.end_run().index().str();
}

inline fixture::ScanSpec scan(int ms_level, std::vector<double> values = {100.0, 10.0}) {
    fixture::ScanSpec spec;
    spec.ms_level = ms_level;
    spec.values = std::move(values);
    return spec;
}

inline orvoeng::PeakListOptions options(std::uint32_t flags = 0, bool centroided = false) {
    orvoeng::PeakListOptions result;
    result.flags = flags;
    result.centroided = centroided;
    return result;
}

// A data source opened on `path` with `first_label` 1 and no event sink.
struct Opened {
    explicit Opened(const std::filesystem::path& path,
                    const orvoeng::PeakListOptions& opts = options(), std::uint32_t first_label = 1,
                    const PAL::SmartPtr<PAL::EventSocket>& events = {})
        : source(create()) {
        list = source->open_file(path.wstring(), 1, &opts, first_label, events,
                                 PAL::SmartPtr<PAL::Progress>());
    }
    const std::vector<orvoeng::ScanRecord>& scans() const { return *list; }

    std::unique_ptr<orvoeng::DataSourceIntf> source;
    orvoeng::ScanList list;
};

} // namespace host
