#include "start_tag.h"

#include <array>

namespace orvohost {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// What a byte is to the walk over attributes, looked up rather than compared
// four ways: tags are walked for every scan of a file.
constexpr unsigned char SPACE = 1;    // between attributes
constexpr unsigned char NAME_END = 2; // ends a name: a space, "=", "/" or ">"

constexpr std::array<unsigned char, 256> byte_kinds() {
    std::array<unsigned char, 256> kinds{};
    for (const char c : {' ', '\t', '\r', '\n'})
        kinds[static_cast<unsigned char>(c)] = SPACE | NAME_END;
    for (const char c : {'=', '/', '>'})
        kinds[static_cast<unsigned char>(c)] = NAME_END;
    return kinds;
}

constexpr std::array<unsigned char, 256> BYTE_KINDS = byte_kinds();

bool is(char c, unsigned char kind) {
    return (BYTE_KINDS[static_cast<unsigned char>(c)] & kind) != 0;
}

} // namespace

template <typename Seen>
std::optional<StartTag::Attribute> StartTag::walk(Seen seen) const {
    const std::string_view tag = text;
    std::size_t i = 1;
    while (i < tag.size() && !is_space(tag[i]) && tag[i] != '/' && tag[i] != '>')
        ++i;
    // Attributes are walked one by one, so a name is matched whole and
    // never inside a longer name or a value.
    while (i < tag.size()) {
        while (i < tag.size() && is(tag[i], SPACE))
            ++i;
        const std::size_t name_at = i;
        while (i < tag.size() && !is(tag[i], NAME_END))
            ++i;
        const std::size_t name_end = i;
        if (name_end == name_at)
            return std::nullopt;
        while (i < tag.size() && is(tag[i], SPACE))
            ++i;
        if (i >= tag.size() || tag[i] != '=')
            return std::nullopt;
        ++i;
        while (i < tag.size() && is(tag[i], SPACE))
            ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\''))
            return std::nullopt;
        const char quote = tag[i];
        const std::size_t value_at = ++i;
        const std::size_t value_end = tag.find(quote, value_at);
        if (value_end == tag.npos)
            return std::nullopt;
        const Attribute attribute{name_at, name_end, value_at, value_end};
        if (seen(attribute))
            return attribute;
        i = value_end + 1;
    }
    return std::nullopt;
}

std::optional<StartTag::Attribute> StartTag::find(std::string_view name) const {
    const std::string_view tag = text;
    const auto named = [&](const Attribute& attribute) {
        return tag.substr(attribute.name_at, attribute.name_end - attribute.name_at) == name;
    };
    if (!walked) {
        kept_count = 0;
        kept_all = !walk([this](const Attribute& attribute) {
            if (kept_count == KEPT)
                return true;
            kept[kept_count++] = attribute;
            return false;
        });
        walked = true;
    }
    for (std::size_t i = 0; i < kept_count; ++i)
        if (named(kept[i]))
            return kept[i];
    // A tag of more attributes than are kept is walked for the rest.
    return kept_all ? std::nullopt : walk(named);
}

std::optional<std::size_t> StartTag::name_at(std::string_view name) const {
    const auto attribute = find(name);
    if (!attribute)
        return std::nullopt;
    return attribute->name_at;
}

std::optional<std::string_view> StartTag::value(std::string_view name) const {
    const auto attribute = find(name);
    if (!attribute)
        return std::nullopt;
    return std::string_view(text).substr(attribute->value_at,
                                         attribute->value_end - attribute->value_at);
}

bool StartTag::set_value(std::string_view name, std::string_view new_value) {
    const auto attribute = find(name);
    if (!attribute)
        return false;
    const std::size_t length = attribute->value_end - attribute->value_at;
    if (std::string_view(text).substr(attribute->value_at, length) == new_value)
        return false;
    text.replace(attribute->value_at, length, new_value);
    walked = false;
    return true;
}

void StartTag::add(std::string_view name, std::string_view new_value) {
    std::size_t i = 1;
    while (i < text.size() && !is_space(text[i]) && text[i] != '/' && text[i] != '>')
        ++i;
    std::string attribute = " ";
    attribute.append(name).append("=\"").append(new_value).append("\"");
    text.insert(i, attribute);
    walked = false;
}

bool StartTag::rename(std::string_view name, std::string_view new_name) {
    const auto attribute = find(name);
    if (!attribute)
        return false;
    text.replace(attribute->name_at, name.size(), new_name);
    walked = false;
    return true;
}

bool StartTag::remove(std::string_view name) {
    const auto attribute = find(name);
    if (!attribute)
        return false;
    // The white space after it goes with it when there is some, so that the
    // element name keeps the blank that follows it.
    std::size_t from = attribute->name_at;
    std::size_t to = attribute->value_end + 1;
    if (to < text.size() && is_space(text[to])) {
        while (to < text.size() && is_space(text[to]))
            ++to;
    } else {
        while (from > 0 && is_space(text[from - 1]))
            --from;
    }
    text.erase(from, to - from);
    walked = false;
    return true;
}

} // namespace orvohost
