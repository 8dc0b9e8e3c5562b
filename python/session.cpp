#include "session.h"

#include <dlfcn.h>

#include <cstdlib>

namespace orvopy {

std::filesystem::path module_dir() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&module_dir), &info) == 0 ||
        info.dli_fname == nullptr)
        return std::filesystem::current_path();
    return std::filesystem::absolute(info.dli_fname).parent_path();
}

Session::Session() : folder(module_dir()), host_catalog(orvohost::default_catalog_dir()) {}

Session& Session::get() {
    // Never destroyed: arrays handed to Python may outlive the module's
    // teardown, and the plug-in's code must stay mapped while they do.
    static Session* session = new Session();
    return *session;
}

const orvohost::Plugin& Session::plugin() {
    const std::lock_guard<std::mutex> hold(loading);
    if (!loaded) {
        // ORVO_PLUGIN names another build of the plug-in, as orvo-host's
        // --plugin does.
        const char* chosen = std::getenv("ORVO_PLUGIN");
        const std::filesystem::path path = chosen != nullptr && *chosen != '\0'
                                               ? std::filesystem::path(chosen)
                                               : orvohost::default_plugin_path();
        entry_events = std::make_unique<orvohost::EventChannel>(orvohost::EventHandler{});
        loaded = std::make_unique<orvohost::Plugin>(path, entry_events->socket());
    }
    return *loaded;
}

} // namespace orvopy
