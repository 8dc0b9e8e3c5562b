// A plot's texts kept on the page: an SVG text wider than the page is
// clipped at both edges when centred, so a text that would not fit is
// shortened in the middle instead, to the width the plot's estimate of a
// character gives (text_width).
#pragma once

#include <string>
#include <string_view>

namespace orvohost {

// `text` in a font of `size` units, at most `width` units wide; `bold`
// counts bold glyphs a tenth wider.
std::string fitted_text(std::string_view text, double size, double width, bool bold = false);

// A title "NAME  WHAT" (two blanks after the file's name): the name gives
// way first, so that what is plotted ("total ion current") stays whole;
// only when no 5 columns of the name would be left is the whole title
// shortened.
std::string fitted_title(std::string_view title, double size, double width, bool bold = false);

} // namespace orvohost
