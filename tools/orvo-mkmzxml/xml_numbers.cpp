#include "xml_numbers.h"

#include <charconv>

namespace mkmzxml {

void write_uint(OutputFile& out, std::uint64_t value) {
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.write({text, static_cast<std::size_t>(end - text)});
}

void write_value(OutputFile& out, double value, bool single) {
    char text[32];
    const auto end = single ? std::to_chars(text, text + sizeof text, static_cast<float>(value)).ptr
                            : std::to_chars(text, text + sizeof text, value).ptr;
    out.write({text, static_cast<std::size_t>(end - text)});
}

void write_seconds(OutputFile& out, std::uint64_t milliseconds) {
    out.write("PT");
    write_uint(out, milliseconds / 1000);
    const auto rest = static_cast<unsigned>(milliseconds % 1000);
    const char fraction[] = {'.', static_cast<char>('0' + rest / 100),
                             static_cast<char>('0' + rest / 10 % 10),
                             static_cast<char>('0' + rest % 10), 'S'};
    out.write({fraction, sizeof fraction});
}

} // namespace mkmzxml
