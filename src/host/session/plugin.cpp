#include "plugin.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <pal/msgcatalog.h>

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

std::filesystem::path platform_library_dir() {
    // Any function of the platform library names the file it was loaded from.
    const void* const inside = reinterpret_cast<const void*>(&PAL::user_language_code);
#ifdef _WIN32
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(inside), &module))
        return program_dir();
    wchar_t file[32768];
    const DWORD length = ::GetModuleFileNameW(module, file, 32768);
    if (length == 0 || length == 32768)
        return program_dir();
    return std::filesystem::path(std::wstring(file, length)).parent_path();
#else
    Dl_info info{};
    if (::dladdr(inside, &info) == 0 || info.dli_fname == nullptr)
        return program_dir();
    std::error_code error;
    const auto file = std::filesystem::canonical(info.dli_fname, error);
    return error ? program_dir() : file.parent_path();
#endif
}

std::filesystem::path first_existing(std::initializer_list<std::filesystem::path> candidates) {
    for (const auto& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::exists(candidate, error))
            return candidate;
    }
    return candidates.size() == 0 ? std::filesystem::path() : *candidates.begin();
}

std::filesystem::path default_plugin_path() {
#ifdef _WIN32
    const std::filesystem::path name = "orvo_ds_mzxml.dll";
#else
    const std::filesystem::path name = "liborvo_ds_mzxml.so";
#endif
    const auto library = platform_library_dir();
    return first_existing({(library / ORVO_INSTALLED_MODULE_DIR / name).lexically_normal(),
                           (library / ORVO_BUILT_MODULE_DIR / name).lexically_normal()});
}

} // namespace orvohost
