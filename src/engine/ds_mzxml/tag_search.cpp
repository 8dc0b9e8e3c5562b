#include "mzXMLReader.h"

bool find_attribute(const std::string& text, const std::string& name, std::string& value) {
    const std::size_t at = text.find(name + "=");
    if (at == std::string::npos)
        return false;
    // The character after "=" is taken as the opening quote, whatever it is;
    // a name and "=" that end the text have no value.
    const std::size_t start = at + name.size() + 2;
    if (start > text.size())
        return false;
    const std::size_t close = text.find('"', start);
    if (close == std::string::npos)
        return false;
    value.assign(text, start, close - start);
    return true;
}

bool find_element_text(const std::string& text, const std::string& name, std::string& value) {
    const std::size_t at = text.find("<" + name);
    if (at == std::string::npos)
        return false;
    const std::size_t after = at + 1 + name.size();
    if (after >= text.size() || (text[after] != ' ' && text[after] != '>'))
        return false;
    const std::size_t tag_end = text.find('>', at);
    if (tag_end == std::string::npos)
        return false;
    const std::size_t content = tag_end + 1;
    std::size_t end = text.find("</" + name, content);
    if (end == std::string::npos)
        end = text.size();
    if (end == content)
        return false;
    value.assign(text, content, end - content);
    return true;
}

std::string find_start_tag(const std::string& text, const std::string& name) {
    const std::size_t at = text.find("<" + name);
    if (at == std::string::npos)
        return {};
    const std::size_t tag_end = text.find('>', at);
    if (tag_end == std::string::npos)
        return {};
    return text.substr(at + 1, tag_end - at - 1);
}

bool is_true_value(const std::string& value) {
    return value == "1" || value == "true" || value == "TRUE";
}
