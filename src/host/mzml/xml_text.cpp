#include "xml_text.h"

#include <host/markup/xml_text.h>
#include <host/output/number_text.h>

#include <fmt/format.h>

#include <algorithm>
#include <iterator>

namespace orvohost::mzml {

namespace {

constexpr std::string_view BLANKS = "                                ";

void open_cv_param(std::string& out, std::size_t level, Cv term) {
    const CvTerm& t = cv(term);
    out += indent(level);
    out += "<cvParam cvRef=\"";
    out += t.cv_ref();
    out += "\" accession=\"";
    out += t.accession;
    out += "\" name=\"";
    out += t.name;
    out += "\" value=\"";
}

void close_cv_param(std::string& out, std::optional<Cv> unit) {
    out += '"';
    if (unit) {
        const CvTerm& u = cv(*unit);
        out += " unitCvRef=\"";
        out += u.cv_ref();
        out += "\" unitAccession=\"";
        out += u.accession;
        out += "\" unitName=\"";
        out += u.name;
        out += '"';
    }
    out += "/>\n";
}

} // namespace

std::string_view indent(std::size_t level) {
    return BLANKS.substr(0, std::min(BLANKS.size(), 2 * level));
}

void append_cv_param(std::string& out, std::size_t level, Cv term) {
    open_cv_param(out, level, term);
    close_cv_param(out, std::nullopt);
}

void append_cv_param(std::string& out, std::size_t level, Cv term, std::string_view value,
                     std::optional<Cv> unit) {
    open_cv_param(out, level, term);
    append_xml_escaped(out, value);
    close_cv_param(out, unit);
}

void append_cv_number(std::string& out, std::size_t level, Cv term, double value, bool single,
                      std::optional<Cv> unit) {
    open_cv_param(out, level, term);
    if (single)
        append_as_float(out, value);
    else
        append_number(out, value);
    close_cv_param(out, unit);
}

void append_cv_integer(std::string& out, std::size_t level, Cv term, long long value) {
    open_cv_param(out, level, term);
    fmt::format_to(std::back_inserter(out), "{}", value);
    close_cv_param(out, std::nullopt);
}

} // namespace orvohost::mzml
