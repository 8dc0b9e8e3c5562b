#include "binary_array_xml.h"

#include "xml_text.h"

#include <fmt/format.h>

#include <iterator>

namespace orvohost::mzml {

void append_binary_array(std::string& out, std::size_t level, Cv array, Cv unit,
                         const double* first, std::size_t count, std::size_t stride,
                         const ArrayFormat& format) {
    // The encoded length stands before the text, whose length only the
    // encoding tells: the text is made aside first.
    thread_local std::string text;
    text.clear();
    const std::size_t length = append_encoded(text, first, count, stride, format);
    out += indent(level);
    fmt::format_to(std::back_inserter(out), "<binaryDataArray encodedLength=\"{}\">\n", length);
    append_cv_param(out, level + 1, type_term(format));
    append_cv_param(out, level + 1, compression_term(format));
    append_cv_param(out, level + 1, array, "", unit);
    out += indent(level + 1);
    out += "<binary>";
    out += text;
    out += "</binary>\n";
    out += indent(level);
    out += "</binaryDataArray>\n";
}

} // namespace orvohost::mzml
