// What every Run of the process shares: the plug-in, loaded once the way
// orvo-host loads it, and the host's catalog, both found as orvo-host finds
// them.
#pragma once

#include <host/session/catalog.h>
#include <host/session/events.h>
#include <host/session/plugin.h>

#include <filesystem>
#include <memory>
#include <mutex>

namespace orvopy {

class Session {
public:
    // Loads the plug-in on first use; raises orvohost::HostError.
    const orvohost::Plugin& plugin();
    orvohost::HostCatalog& catalog() { return host_catalog; }

    static Session& get();

private:
    Session();

    std::filesystem::path folder;
    orvohost::HostCatalog host_catalog;
    std::mutex loading;
    std::unique_ptr<orvohost::EventChannel> entry_events;
    std::unique_ptr<orvohost::Plugin> loaded;
};

// The folder of this module's shared object.
std::filesystem::path module_dir();

} // namespace orvopy
