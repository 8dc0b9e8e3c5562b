#include "plugin.h"

#include <dlfcn.h>
#include <unistd.h>

#include <system_error>

namespace orvohost {

Plugin::Plugin(const std::filesystem::path& path, const PAL::SmartPtr<PAL::EventSocket>& events)
    : module_path(path) {
    // The module stays loaded until the process ends: records and events it
    // made may be held by the host's objects until the very last moment.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        throw HostError("cannot load the plug-in " + path.string() + ": " + ::dlerror());
    void* symbol = ::dlsym(module, orvoeng::DS_MZXML_ENTRY_SYMBOL);
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
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return std::filesystem::current_path();
    return self.parent_path();
}

std::filesystem::path default_plugin_path() {
    return program_dir() / "liborvo_ds_mzxml.so";
}

} // namespace orvohost
