#include <pal/exception.h>
#include <pal/message.h>

#include <charconv>
#include <iterator>
#include <type_traits>

namespace {
constexpr const char* source_file = "msgcatalog";

// Arguments are plain digits, whatever global locale the process runs
// under, formatted as a classic-locale stream would: octal and hexadecimal
// show the bits of negative values, a base prefix stands before every value
// but 0, and other bases are decimal. No stream is built: a notice per scan
// must cost little.
template <class N>
std::wstring format_number(N value, int width, int base, bool showbase) {
    char digits[72];
    char* end = digits;
    if (base == 8 || base == 16) {
        const auto bits = static_cast<std::make_unsigned_t<N>>(value);
        if (showbase && bits != 0) {
            *end++ = '0';
            if (base == 16)
                *end++ = 'x';
        }
        end = std::to_chars(end, std::end(digits), bits, base).ptr;
    } else {
        end = std::to_chars(end, std::end(digits), value).ptr;
    }
    const auto length = static_cast<std::size_t>(end - digits);
    const std::size_t pad = width > 0 && length < static_cast<std::size_t>(width)
                                ? static_cast<std::size_t>(width) - length
                                : 0;
    std::wstring text(pad + length, L' ');
    for (std::size_t i = 0; i < length; ++i)
        text[pad + i] = static_cast<wchar_t>(digits[i]);
    return text;
}

// Messages carry a few arguments: room for four at the first saves the
// regrowths of a message built argument by argument.
void reserve_arguments(std::vector<std::wstring>& args) {
    if (args.capacity() == 0)
        args.reserve(4);
}

} // namespace

namespace PAL {

Message::Message(std::uint32_t msg_id) : id(msg_id) {
    PAL_ASSERT(msg_id != 0, L"msg_id is 0");
}

Message& Message::add(const std::wstring& value, int width) {
    reserve_arguments(args);
    if (width > 0 && value.size() < static_cast<std::size_t>(width))
        args.push_back(std::wstring(static_cast<std::size_t>(width) - value.size(), L' ') + value);
    else
        args.push_back(value);
    return *this;
}

Message& Message::add(std::int32_t value, int width, int base, bool showbase) {
    reserve_arguments(args);
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(unsigned long value, int width, int base, bool showbase) {
    reserve_arguments(args);
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(std::uint32_t value, int width, int base, bool showbase) {
    reserve_arguments(args);
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(long value, int width, int base, bool showbase) {
    reserve_arguments(args);
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(long long value, int width, int base, bool showbase) {
    reserve_arguments(args);
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(unsigned long long value, int width, int base, bool showbase) {
    reserve_arguments(args);
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

} // namespace PAL
