// The host's message catalog: the English texts of every identifier the
// plug-in raises or posts, in catalog files installed with the program.
#pragma once

#include <pal/message.h>
#include <pal/msgcatalog.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvohost {

class HostCatalog : public PAL::MsgCatalog {
public:
    // Catalog files named "orvo-host" + language + ".msg" in `folder`.
    explicit HostCatalog(std::filesystem::path folder);

    std::wstring prefix() const override;

    // The message's text with its arguments put in place of %1, %2...
    std::wstring text(const PAL::Message& message);

    // The same, in UTF-8.
    std::string sentence(const PAL::Message& message);

private:
    std::filesystem::path folder;
};

// Where the catalog files lie for the platform library in use: the
// installation's data folder, else the build tree's.
std::filesystem::path default_catalog_dir();

// Replaces %1 to %99 by the arguments of that position and %% by one %, as
// message tables do; a marker without an argument stays as it is written.
std::wstring insert_arguments(std::wstring_view text, const std::vector<std::wstring>& args);

} // namespace orvohost
