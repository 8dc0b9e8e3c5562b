// The data-source plug-in as a host loads it: the module opened with dlopen,
// its one export looked up by name and called with the interface version
// the host speaks, and data sources made by the factory it hands back.
#pragma once

#include <host/base/host_error.h>

#include <ds/data_source_intf.h>

#include <pal/atomic.h>
#include <pal/event.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>

namespace orvohost {

using DataSource = std::unique_ptr<orvoeng::DataSourceIntf>;

class Plugin {
public:
    // Loads the module and asks it for a factory with interface version 20;
    // `events` receives what the entry point posts. Raises HostError naming
    // the path and the loader's reason.
    Plugin(const std::filesystem::path& path, const PAL::SmartPtr<PAL::EventSocket>& events);
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // A new data source, owned by the caller; destroyed through its virtual
    // destructor.
    DataSource create() const;

    const std::filesystem::path& path() const { return module_path; }

private:
    std::filesystem::path module_path;
    orvoeng::DataSourceIntfFactory* factory = nullptr;
};

// The folder of the running program.
std::filesystem::path program_dir();

// The folder of the platform library this process uses: every host links
// it, so the plug-in and the catalogs that belong with it are found from
// there, whatever the working directory and wherever the host itself lies.
std::filesystem::path platform_library_dir();

// Where a host finds the plug-in when no path is given: the module folder
// of the installation the platform library belongs to, else the plug-in of
// the build tree; the installed path when neither exists, so the loader's
// complaint names where it should be.
std::filesystem::path default_plugin_path();

// The first of `candidates` that exists, else the first.
std::filesystem::path first_existing(std::initializer_list<std::filesystem::path> candidates);

} // namespace orvohost
