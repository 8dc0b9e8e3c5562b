#include "start_tag.h"

namespace orvohost {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::optional<StartTag::Attribute> StartTag::find(std::string_view name) const {
    const std::string_view tag = text;
    std::size_t i = 1;
    while (i < tag.size() && !is_space(tag[i]) && tag[i] != '/' && tag[i] != '>')
        ++i;
    // Attributes are walked one by one, so a name is matched whole and
    // never inside a longer name or a value.
    while (i < tag.size()) {
        while (i < tag.size() && is_space(tag[i]))
            ++i;
        const std::size_t name_at = i;
        while (i < tag.size() && !is_space(tag[i]) && tag[i] != '=' && tag[i] != '/' &&
               tag[i] != '>')
            ++i;
        const std::string_view found = tag.substr(name_at, i - name_at);
        if (found.empty())
            return std::nullopt;
        while (i < tag.size() && is_space(tag[i]))
            ++i;
        if (i >= tag.size() || tag[i] != '=')
            return std::nullopt;
        ++i;
        while (i < tag.size() && is_space(tag[i]))
            ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\''))
            return std::nullopt;
        const char quote = tag[i];
        const std::size_t value_at = ++i;
        const std::size_t value_end = tag.find(quote, value_at);
        if (value_end == tag.npos)
            return std::nullopt;
        if (found == name)
            return Attribute{name_at, value_at, value_end};
        i = value_end + 1;
    }
    return std::nullopt;
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
    return true;
}

void StartTag::add(std::string_view name, std::string_view new_value) {
    std::size_t i = 1;
    while (i < text.size() && !is_space(text[i]) && text[i] != '/' && text[i] != '>')
        ++i;
    std::string attribute = " ";
    attribute.append(name).append("=\"").append(new_value).append("\"");
    text.insert(i, attribute);
}

bool StartTag::rename(std::string_view name, std::string_view new_name) {
    const auto attribute = find(name);
    if (!attribute)
        return false;
    text.replace(attribute->name_at, name.size(), new_name);
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
    return true;
}

} // namespace orvohost
