// The plug-in's failures as sentences a person can act on. The plug-in
// ends a refused open with a general reason ("File corrupt. Unable to
// read/create index") while the event it posted a moment before says what
// it found; the host keeps those events with the failure and names the
// cause from the most specific one, and from a look at the file itself.
#pragma once

#include "catalog.h"

#include <pal/exception.h>
#include <pal/message.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvohost {

// A PAL::AppError of the plug-in as the host met it: the file it was about
// and the error events (level 1) posted during the failed call. It is still
// the plug-in's AppError, code and message unchanged.
class ReadFailure : public PAL::AppError {
public:
    ReadFailure(const PAL::AppError& error, std::filesystem::path file,
                std::vector<PAL::Message> events);
    ~ReadFailure() override;

    std::filesystem::path file;
    std::vector<PAL::Message> events;
};

// The sentence of an event or error message. Where the plug-in's search
// for scans stopped one past the declared count, it says "more than" that
// count: the search does not go on to count the rest.
std::string message_sentence(HostCatalog& catalog, const PAL::Message& message);

// The whole sentence for a plug-in error, ending with its status code,
// "(status 0x80040802)". For a ReadFailure it names the file and the cause:
// a path that is missing, a folder, unreadable or empty; the schema version
// the file names; both scan counts; the num found where a scan's header
// failed. `file` names the file of a plain AppError; it may be empty.
std::string failure_sentence(HostCatalog& catalog, const PAL::AppError& error,
                             const std::filesystem::path& file = {});

// Whether the call failed because the system could not read the file (a
// failing disk or share), not because of what the file holds.
bool read_failed(const PAL::AppError& error);

// Whether the failure comes from what the file holds, in a way a repair may
// mend: a refused open, a scan header or a peak list the plug-in cannot
// read, in a file that starts as mzXML later than 1.x. Never for a read
// the system failed, a file that changed, or a path that is no file.
bool repair_may_mend(const ReadFailure& failure);

// The name of a message identifier in the shared table ("BAD_PEAKS"), or
// its number in hex when the table has none.
std::string message_name(std::uint32_t id);

} // namespace orvohost
