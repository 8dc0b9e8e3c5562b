// The plug-in loaded with dlopen (LoadLibraryW on Windows) and found by its
// mangled name, as a host loads it, for the tests that drive it through its
// interface.
#pragma once

#include <ds/data_source_intf.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <memory>
#include <stdexcept>
#include <string>

namespace fixture {

// The module at `path`, loaded and never unloaded (what it makes may live to
// the end), and its entry point.
inline orvoeng::GetIntfFactory load_entry_point(const char* path) {
#ifdef _WIN32
    const std::string narrow(path);
    const HMODULE module = ::LoadLibraryW(std::wstring(narrow.begin(), narrow.end()).c_str());
    void* const symbol =
        module ? reinterpret_cast<void*>(::GetProcAddress(module, orvoeng::DS_MZXML_ENTRY_SYMBOL))
               : nullptr;
#else
    void* const module = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    void* symbol = module ? ::dlsym(module, orvoeng::DS_MZXML_ENTRY_SYMBOL) : nullptr;
#endif
    if (!symbol)
        throw std::runtime_error(std::string("no entry point in ") + path);
    return reinterpret_cast<orvoeng::GetIntfFactory>(symbol);
}

inline orvoeng::GetIntfFactory entry_point() {
    static const orvoeng::GetIntfFactory entry = load_entry_point(ORVO_PLUGIN_PATH);
    return entry;
}

inline std::unique_ptr<orvoeng::DataSourceIntf> create_data_source() {
    return std::unique_ptr<orvoeng::DataSourceIntf>(
        entry_point()(orvoeng::DS_INTF_VERSION, {})->create());
}

#ifdef ORVO_TINY_PLUGIN_PATH
// The same plug-in built with a tiny reading block: every file of a few
// hundred bytes already spans several blocks and starts the read ahead.
inline std::unique_ptr<orvoeng::DataSourceIntf> create_tiny_block_data_source() {
    static const orvoeng::GetIntfFactory entry = load_entry_point(ORVO_TINY_PLUGIN_PATH);
    return std::unique_ptr<orvoeng::DataSourceIntf>(entry(orvoeng::DS_INTF_VERSION, {})->create());
}
#endif

} // namespace fixture
