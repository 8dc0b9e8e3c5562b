// A message for the host: an identifier of the host's message catalog and
// its arguments, already formatted as wide strings. The plug-in never builds
// user-visible sentences; the host inserts the arguments by position.
#pragma once

#include <pal/api.h>

#include <cstdint>
#include <string>
#include <vector>

namespace PAL {

class PAL_API Message {
public:
    // Identifier 0: only for messages filled in later (progress nodes).
    Message() : id(0) {}
    // Raises AssertFailure "msg_id is 0" for identifier 0.
    explicit Message(std::uint32_t id);

    // Every form appends one argument and returns *this, so calls chain.
    // A width above 0 right-aligns the text in a field of that many characters
    // filled with blanks. Numbers use base 8, 10 or 16 (anything else gives
    // decimal), with the base shown when `showbase` is true (0x for 16).
    Message& add(const std::wstring& value, int width = 0);
    Message& add(std::int32_t value, int width = 0, int base = 10, bool showbase = true);
    Message& add(unsigned long value, int width = 0, int base = 10, bool showbase = true);
    Message& add(std::uint32_t value, int width = 0, int base = 10, bool showbase = true);
    Message& add(long value, int width = 0, int base = 10, bool showbase = true);
    Message& add(long long value, int width = 0, int base = 10, bool showbase = true);
    Message& add(unsigned long long value, int width = 0, int base = 10, bool showbase = true);

    std::uint32_t id;
    std::vector<std::wstring> args;
};

} // namespace PAL
