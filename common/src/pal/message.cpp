#include <pal/exception.h>
#include <pal/message.h>

#include <iomanip>
#include <sstream>

namespace {
constexpr const char* source_file = "msgcatalog";

// Arguments are formatted in the classic locale: the host inserts plain
// digits, whatever global locale the process runs under.
template <class N>
std::wstring format_number(N value, int width, int base, bool showbase) {
    std::wostringstream out;
    out.imbue(std::locale::classic());
    if (width > 0)
        out << std::setw(width);
    if (showbase)
        out << std::showbase;
    out << std::setbase(base) << value;
    return out.str();
}

} // namespace

namespace PAL {

Message::Message(std::uint32_t id) : id(id) {
    PAL_ASSERT(id != 0, L"msg_id is 0");
}

Message& Message::add(const std::wstring& value, int width) {
    if (width > 0 && value.size() < static_cast<std::size_t>(width))
        args.push_back(std::wstring(static_cast<std::size_t>(width) - value.size(), L' ') + value);
    else
        args.push_back(value);
    return *this;
}

Message& Message::add(std::int32_t value, int width, int base, bool showbase) {
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(unsigned long value, int width, int base, bool showbase) {
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(std::uint32_t value, int width, int base, bool showbase) {
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(long value, int width, int base, bool showbase) {
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(long long value, int width, int base, bool showbase) {
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

Message& Message::add(unsigned long long value, int width, int base, bool showbase) {
    args.push_back(format_number(value, width, base, showbase));
    return *this;
}

} // namespace PAL
