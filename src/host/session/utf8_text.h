// Text at the host's edges: the plug-in speaks wide strings, people and
// pipes read UTF-8, and command-line arguments come in the user's code page.
#pragma once

#include <string>
#include <string_view>

namespace orvohost {

// UTF-8 bytes of a wide text; a lone surrogate or a value beyond Unicode
// becomes U+FFFD instead of failing, since the text is only shown.
std::string utf8(std::wstring_view text);

// A wide text of UTF-8 bytes; a byte that is not UTF-8 becomes U+FFFD.
std::wstring from_utf8(std::string_view text);

// A command-line argument widened through the user's locale, as the
// plug-in narrows it again before it opens the file; raises
// PAL::StrCodeCvtError when the bytes do not fit that locale.
std::wstring from_argument(const std::string& argument);

} // namespace orvohost
