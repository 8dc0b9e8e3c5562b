#include "support/mzxml_fixture.h"

#include <cstdlib>
#include <fstream>
#include <locale>
#include <random>
#include <stdexcept>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fixture {

// ---- MzXmlWriter -------------------------------------------------------------

MzXmlWriter::MzXmlWriter(std::string schema_marker) : schema(std::move(schema_marker)) {}

MzXmlWriter& MzXmlWriter::begin(std::optional<int> scan_count) {
    const std::string ns = "http://sashimi.sourceforge.net/schema_revision/" + schema;
    std::string location = ns;
    if (schema.rfind("mzXML_", 0) == 0)
        location += " " + ns + "/mzXML_idx_" + schema.substr(6) + ".xsd";
    content += "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
    content += "<mzXML xmlns=\"" + ns + "\"\n";
    content += "       xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n";
    content += "       xsi:schemaLocation=\"" + location + "\">\n";
    content += "  <msRun";
    if (scan_count)
        content += " scanCount=\"" + std::to_string(*scan_count) + "\"";
    content += " startTime=\"PT0S\" endTime=\"PT60S\">\n";
    return *this;
}

MzXmlWriter& MzXmlWriter::text(const std::string& raw) {
    content += raw;
    return *this;
}

std::string MzXmlWriter::scan_element(const ScanSpec& spec, int position) {
    const int peaks =
        spec.peaks_count ? *spec.peaks_count : static_cast<int>(spec.values.size() / 2);
    std::vector<std::string> attributes;
    attributes.push_back("num=\"" + std::to_string(spec.num ? *spec.num : position) + "\"");
    attributes.push_back("msLevel=\"" + std::to_string(spec.ms_level) + "\"");
    if (spec.polarity)
        attributes.push_back("polarity=\"" + *spec.polarity + "\"");
    attributes.push_back("retentionTime=\"" + spec.retention_time + "\"");
    attributes.push_back("peaksCount=\"" + std::to_string(peaks) + "\"");
    if (!spec.extra_attributes.empty())
        attributes.push_back(spec.extra_attributes);

    std::string out = "    <scan";
    for (std::size_t i = 0; i < attributes.size(); ++i)
        out += (spec.multi_line_start_tag && i > 0 ? "\n          " : " ") + attributes[i];
    out += ">\n";
    if (spec.precursor)
        out += "      " + *spec.precursor + "\n";
    if (!spec.no_peaks_element) {
        std::string peaks_attributes = spec.peaks_attributes
                                           ? *spec.peaks_attributes
                                           : "precision=\"" + std::to_string(spec.precision) +
                                                 "\" byteOrder=\"network\" pairOrder=\"m/z-int\"";
        out += "      <peaks";
        if (!peaks_attributes.empty())
            out += " " + peaks_attributes;
        out += ">";
        out += spec.peaks_text ? *spec.peaks_text : encode_values(spec.values, spec.precision);
        out += "</peaks>\n";
    }
    out += spec.inner;
    out += "    </scan>\n";
    return out;
}

MzXmlWriter& MzXmlWriter::scan(const ScanSpec& spec) {
    return raw_scan(scan_element(spec, static_cast<int>(offsets.size()) + 1).substr(4));
}

MzXmlWriter& MzXmlWriter::raw_scan(const std::string& raw) {
    if (raw.rfind("<scan", 0) != 0)
        throw std::invalid_argument("raw_scan: text must start with <scan");
    content += "    ";
    offsets.push_back(static_cast<std::int64_t>(content.size()));
    content += raw;
    return *this;
}

MzXmlWriter& MzXmlWriter::end_run() {
    content += "  ";
    run_end = static_cast<std::int64_t>(content.size());
    content += "</msRun>\n";
    return *this;
}

MzXmlWriter& MzXmlWriter::index(std::optional<std::vector<int>> ids,
                                std::optional<std::vector<std::int64_t>> given_offsets) {
    const std::vector<std::int64_t>& offs = given_offsets ? *given_offsets : offsets;
    const std::size_t lines = ids ? ids->size() : offs.size();
    content += "  ";
    index_at = static_cast<std::int64_t>(content.size());
    content += "<index name=\"scan\">\n";
    for (std::size_t i = 0; i < lines; ++i) {
        const int id = ids ? (*ids)[i] : static_cast<int>(i) + 1;
        const std::int64_t at = i < offs.size() ? offs[i] : 0;
        content +=
            "    <offset id=\"" + std::to_string(id) + "\">" + std::to_string(at) + "</offset>\n";
    }
    content += "  </index>\n";
    content += "  <indexOffset>" + std::to_string(index_at) + "</indexOffset>\n";
    content += "</mzXML>\n";
    return *this;
}

MzXmlWriter& MzXmlWriter::no_index(const std::string& index_offset_line) {
    content += "  " + index_offset_line + "\n";
    content += "</mzXML>\n";
    return *this;
}

// ---- TempDir ---------------------------------------------------------------

TempDir::TempDir() {
#ifdef _WIN32
    // No mkdtemp: a random name, taken only when this call made the folder.
    std::random_device seed;
    std::mt19937_64 pick(seed());
    for (int attempt = 0; attempt < 100 && root.empty(); ++attempt) {
        const auto candidate =
            std::filesystem::temp_directory_path() / ("orvo-test-" + std::to_string(pick()));
        if (std::filesystem::create_directory(candidate))
            root = candidate;
    }
    if (root.empty())
        throw std::runtime_error("no temporary folder could be made");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "orvo-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    root = pattern;
#endif
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::filesystem::path TempDir::write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path path = root / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    return path;
}

// ---- environment -----------------------------------------------------------

std::filesystem::path corpus_dir() {
    std::filesystem::path dir;
    if (const char* env = std::getenv("ORVO_CORPUS_DIR"); env && *env)
        dir = env;
    else
        dir = ORVO_CORPUS_DIR;
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_directory(dir, ec))
        return {};
    return dir;
}

void set_env(const char* name, const char* value) {
#ifdef _WIN32
    // An empty value removes the variable.
    ::_putenv_s(name, value ? value : "");
#else
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
#endif
}

ScopedEnv::ScopedEnv(const char* variable, const char* value) : name(variable) {
    if (const char* old = std::getenv(variable))
        saved = old;
    set_env(variable, value);
}

ScopedEnv::~ScopedEnv() {
    set_env(name.c_str(), saved ? saved->c_str() : nullptr);
}

bool has_locale(const char* name) {
    try {
        std::locale probe(name);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

} // namespace fixture
