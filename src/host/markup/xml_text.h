// Text written into an XML document, as character data or an attribute
// value, and an attribute value read back.
#pragma once

#include <string>
#include <string_view>

namespace orvohost {

// Appends `text` with the markup characters as entities; tab, line feed and
// carriage return as references, which an attribute value would otherwise
// fold into blanks; and bytes that are not UTF-8, and the controls XML
// forbids, as U+FFFD. Such text comes from file names in any encoding, and
// one bad byte would spoil the whole document.
void append_xml_escaped(std::string& out, std::string_view text);
std::string xml_escaped(std::string_view text);

// An attribute value as written, with the five predefined entities and
// character references expanded; a reference that names no character is
// kept as written.
std::string xml_unescaped(std::string_view text);

} // namespace orvohost
