#include "plugin.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <system_error>

namespace orvohost {

Plugin::Plugin(const std::filesystem::path& path, const PAL::SmartPtr<PAL::EventSocket>& events)
    : module_path(path) {
    // The module stays loaded until the process ends: records and events it
    // made may be held by the host's objects until the very last moment.
#ifdef _WIN32
    const HMODULE module = ::LoadLibraryW(path.c_str());
    if (!module)
        throw HostError("cannot load the plug-in " + path.string() + ": " +
                        std::system_category().message(static_cast<int>(::GetLastError())));
    // Through void*: a FARPROC is a function of no arguments.
    void* const symbol =
        reinterpret_cast<void*>(::GetProcAddress(module, orvoeng::DS_MZXML_ENTRY_SYMBOL));
#else
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        throw HostError("cannot load the plug-in " + path.string() + ": " + ::dlerror());
    void* symbol = ::dlsym(module, orvoeng::DS_MZXML_ENTRY_SYMBOL);
#endif
    if (!symbol)
        throw HostError("the plug-in " + path.string() +
                        " has no entry point orvoeng::ds_mzxml_get_intf_factory");
    const auto entry = reinterpret_cast<orvoeng::GetIntfFactory>(symbol);
    factory = entry(orvoeng::DS_INTF_VERSION, events);
    if (!factory)
        throw HostError("the plug-in " + path.string() + " does not serve interface version " +
                        std::to_string(orvoeng::DS_INTF_VERSION));
}

DataSource Plugin::create() const {
    DataSource source(factory->create());
    if (!source)
        throw HostError("the plug-in " + module_path.string() + " made no data source");
    return source;
}

std::filesystem::path program_dir() {
#ifdef _WIN32
    wchar_t self[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, 32768);
    if (length == 0 || length == 32768)
        return std::filesystem::current_path();
    return std::filesystem::path(std::wstring(self, length)).parent_path();
#else
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return std::filesystem::current_path();
    return self.parent_path();
#endif
}

std::filesystem::path default_plugin_path() {
#ifdef _WIN32
    return program_dir() / "orvo_ds_mzxml.dll";
#else
    return program_dir() / "liborvo_ds_mzxml.so";
#endif
}

} // namespace orvohost
