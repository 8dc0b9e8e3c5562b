// One start tag, held as text and edited in place: a value replaced, an
// attribute added, renamed or removed. Everything not edited (the order of
// attributes, their quotes, the white space and line breaks between them)
// stays byte for byte as it was.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvohost {

class StartTag {
public:
    explicit StartTag(std::string_view tag) : text(tag) {}

    const std::string& bytes() const { return text; }

    // The value of attribute `name` as written (entities not expanded).
    std::optional<std::string_view> value(std::string_view name) const;
    // Where in the bytes the attribute's name starts.
    std::optional<std::size_t> name_at(std::string_view name) const;

    // Each returns whether the tag changed.
    bool set_value(std::string_view name, std::string_view value);
    // Adds name="value" right after the element name.
    void add(std::string_view name, std::string_view value);
    bool rename(std::string_view name, std::string_view new_name);
    // Removes the attribute with the white space that separates it.
    bool remove(std::string_view name);

private:
    struct Attribute {
        std::size_t name_at;   // first byte of the name
        std::size_t name_end;  // the byte after it
        std::size_t value_at;  // first byte of the value, inside the quotes
        std::size_t value_end; // the closing quote
    };
    std::optional<Attribute> find(std::string_view name) const;
    // Calls `seen` with each attribute in order until it returns true or
    // the tag ends or stops being well formed; the attribute it stopped at.
    template <typename Seen>
    std::optional<Attribute> walk(Seen seen) const;

    std::string text;
    // The attributes as one walk found them, kept until the tag is edited:
    // a tag is asked for several names, and a walk a name would read it
    // again each time.
    static constexpr std::size_t KEPT = 32;
    mutable std::array<Attribute, KEPT> kept{};
    mutable std::size_t kept_count = 0;
    mutable bool kept_all = false; // every attribute is among those kept
    mutable bool walked = false;
};

} // namespace orvohost
