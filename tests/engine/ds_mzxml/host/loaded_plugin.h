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

// Loaded once, never unloaded: what the module makes may live to the end.
inline orvoeng::GetIntfFactory entry_point() {
#ifdef _WIN32
    static const HMODULE module = ::LoadLibraryW(L"" ORVO_PLUGIN_PATH);
    void* const symbol =
        module ? reinterpret_cast<void*>(::GetProcAddress(module, orvoeng::DS_MZXML_ENTRY_SYMBOL))
               : nullptr;
#else
    static void* const module = ::dlopen(ORVO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    void* symbol = module ? ::dlsym(module, orvoeng::DS_MZXML_ENTRY_SYMBOL) : nullptr;
#endif
    if (!symbol)
        throw std::runtime_error(std::string("no entry point in ") + ORVO_PLUGIN_PATH);
    return reinterpret_cast<orvoeng::GetIntfFactory>(symbol);
}

inline std::unique_ptr<orvoeng::DataSourceIntf> create_data_source() {
    return std::unique_ptr<orvoeng::DataSourceIntf>(
        entry_point()(orvoeng::DS_INTF_VERSION, {})->create());
}

} // namespace fixture
