#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

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

MzXmlWriter::MzXmlWriter(std::string schema_marker) : schema(std::move(schema_marker)) {}

MzXmlWriter& MzXmlWriter::begin(std::optional<int> scan_count) {
    const std::string ns = "http://sashimi.sourceforge.net/schema_revision/" + schema;
    const std::string location =
        ns +
        (schema.starts_with("mzXML_") ? " " + ns + "/mzXML_idx_" + schema.substr(6) + ".xsd" : "");
    content += "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<mzXML xmlns=\"" + ns +
               "\"\n       xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
               "       xsi:schemaLocation=\"" +
               location + "\">\n  <msRun" +
               (scan_count ? " scanCount=\"" + std::to_string(*scan_count) + "\"" : "") +
               " startTime=\"PT0S\" endTime=\"PT60S\">\n";
    return *this;
}

MzXmlWriter& MzXmlWriter::text(const std::string& raw) {
    content += raw;
    return *this;
}

std::string MzXmlWriter::scan_element(const ScanSpec& spec, int position) {
    const int peaks =
        spec.peaks_count ? *spec.peaks_count : static_cast<int>(spec.values.size() / 2);
    std::vector<std::string> attributes = {
        "num=\"" + std::to_string(spec.num ? *spec.num : position) + "\"",
        "msLevel=\"" + std::to_string(spec.ms_level) + "\""};
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
        const std::string attrs =
            spec.peaks_attributes.value_or("precision=\"" + std::to_string(spec.precision) +
                                           "\" byteOrder=\"network\" pairOrder=\"m/z-int\"");
        out += "      <peaks" + (attrs.empty() ? "" : " " + attrs) + ">" +
               spec.peaks_text.value_or(encode_values(spec.values, spec.precision)) + "</peaks>\n";
    }
    return out + spec.inner + "    </scan>\n";
}

MzXmlWriter& MzXmlWriter::scan(const ScanSpec& spec) {
    content += "    ";
    offsets.push_back(static_cast<std::int64_t>(content.size()));
    content += scan_element(spec, static_cast<int>(offsets.size())).substr(4);
    return *this;
}

MzXmlWriter& MzXmlWriter::end_run() {
    content += "  ";
    run_end = static_cast<std::int64_t>(content.size());
    content += "</msRun>\n";
    return *this;
}

MzXmlWriter& MzXmlWriter::index(std::optional<std::vector<std::int64_t>> given_offsets) {
    content += "  ";
    index_at = static_cast<std::int64_t>(content.size());
    content += "<index name=\"scan\">\n";
    const std::vector<std::int64_t>& entries = given_offsets ? *given_offsets : offsets;
    for (std::size_t i = 0; i < entries.size(); ++i)
        content += "    <offset id=\"" + std::to_string(i + 1) + "\">" +
                   std::to_string(entries[i]) + "</offset>\n";
    content += "  </index>\n  <indexOffset>" + std::to_string(index_at) + "</indexOffset>\n";
    content += "</mzXML>\n";
    return *this;
}

MzXmlWriter& MzXmlWriter::no_index(const std::string& index_offset_line) {
    content += "  " + index_offset_line + "\n</mzXML>\n";
    return *this;
}

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

std::filesystem::path corpus_dir() {
    const char* env = std::getenv("ORVO_CORPUS_DIR");
    const std::filesystem::path dir = env && *env ? env : ORVO_CORPUS_DIR;
    std::error_code ec;
    return !dir.empty() && std::filesystem::is_directory(dir, ec) ? dir : std::filesystem::path();
}

std::filesystem::path generated_file(const TempDir& dir, const std::string& name,
                                     const std::string& options) {
#ifdef ORVO_MKMZXML_PATH
    const std::filesystem::path path = dir.path() / name;
    const std::string command = std::string("\"") + ORVO_MKMZXML_PATH + "\" -o \"" + path.string() +
                                "\" " + options + " >/dev/null";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "the generator failed: " << command;
        return {};
    }
    return path;
#else
    (void)dir;
    (void)name;
    (void)options;
    return {};
#endif
}

std::vector<CorpusOutcome> corpus_outcomes(const std::filesystem::path& dir) {
    const auto number_after = [](const std::string& text, const std::string& words) {
        const auto at = text.find(words);
        return at == std::string::npos ? 0u : unsigned(std::stoul(text.substr(at + words.size())));
    };
    std::ifstream notes(dir / "SOURCES.md");
    std::vector<CorpusOutcome> out;
    for (std::string row; std::getline(notes, row);) {
        if (row.rfind("| ", 0) != 0 || row.find(".mzXML |") == std::string::npos)
            continue;
        const auto last = row.rfind(" | ") + 3;
        CorpusOutcome o{.file = row.substr(2, row.find(' ', 2) - 2),
                        .scans = number_after(row, " / "),
                        .text = row.substr(last, row.rfind(" |") - last)};
        o.text = o.text == "as above" ? out.at(out.size() - 1).text : o.text;
        o.opens = o.text.find("open_state ") == std::string::npos;
        o.open_state = number_after(o.text, "open_state ");
        o.walk_fails_at = number_after(o.text, "walk fails at position ");
        if (o.opens && !o.walk_fails_at && o.text.find("walk OK") == std::string::npos)
            throw std::runtime_error("SOURCES.md: no outcome read for " + o.file + ": " + o.text);
        out.push_back(o);
    }
    return out;
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
