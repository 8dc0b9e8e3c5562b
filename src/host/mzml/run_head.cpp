#include "run_head.h"

#include "spectrum_xml.h"
#include "xml_text.h"

#include <host/markup/xml_text.h>

#include <fmt/format.h>

#include <cctype>
#include <iterator>

namespace orvohost::mzml {

namespace {

constexpr std::string_view XML_HEAD = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                      "<indexedmzML xmlns=\"http://psi.hupo.org/ms/mzml\" "
                                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                      "xsi:schemaLocation=\"http://psi.hupo.org/ms/mzml "
                                      "http://psidev.info/files/ms/mzML/xsd/mzML1.1.2_idx.xsd\">\n";

constexpr std::string_view CV_LIST =
    "    <cvList count=\"2\">\n"
    "      <cv id=\"MS\" fullName=\"Proteomics Standards Initiative Mass Spectrometry "
    "Ontology\" URI=\"https://raw.githubusercontent.com/HUPO-PSI/psi-ms-CV/master/psi-ms.obo\"/>\n"
    "      <cv id=\"UO\" fullName=\"Unit Ontology\" "
    "URI=\"https://raw.githubusercontent.com/bio-ontology-research-group/unit-ontology/master/"
    "unit.obo\"/>\n"
    "    </cvList>\n";

bool name_char(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '-' || c == '.';
}

void append_file_description(std::string& out, const RunHead& head) {
    out += "    <fileDescription>\n      <fileContent>\n";
    if (head.has_ms1)
        append_cv_param(out, 4, Cv::MS1_SPECTRUM);
    if (head.has_msn)
        append_cv_param(out, 4, Cv::MSN_SPECTRUM);
    out += "      </fileContent>\n      <sourceFileList count=\"1\">\n";
    out += "        <sourceFile id=\"";
    out += SOURCE_FILE_ID;
    out += "\" name=\"";
    append_xml_escaped(out, head.source.filename().string());
    out += "\" location=\"";
    append_xml_escaped(out, folder_uri(head.source));
    out += "\">\n";
    append_cv_param(out, 5, Cv::SCAN_NUMBER_NATIVE_ID);
    append_cv_param(out, 5, Cv::MZXML_FORMAT);
    append_cv_param(out, 5, Cv::SHA1, head.source_sha1);
    out += "        </sourceFile>\n      </sourceFileList>\n    </fileDescription>\n";
}

void append_software(std::string& out) {
    out += "    <softwareList count=\"1\">\n";
    fmt::format_to(std::back_inserter(out), "      <software id=\"{}\" version=\"{}\">\n",
                   SOFTWARE_ID, ORVO_VERSION);
    append_cv_param(out, 4, Cv::CUSTOM_SOFTWARE, "orvo-host");
    out += "      </software>\n    </softwareList>\n";
}

void append_data_processing(std::string& out) {
    // Every processing method names its software: the schema requires it.
    fmt::format_to(std::back_inserter(out),
                   "    <dataProcessingList count=\"1\">\n"
                   "      <dataProcessing id=\"{}\">\n"
                   "        <processingMethod order=\"0\" softwareRef=\"{}\">\n",
                   DATA_PROCESSING_ID, SOFTWARE_ID);
    append_cv_param(out, 5, Cv::CONVERSION_TO_MZML);
    out += "        </processingMethod>\n      </dataProcessing>\n    </dataProcessingList>\n";
}

} // namespace

std::string run_id(const std::filesystem::path& source) {
    std::string id;
    for (const char c : source.stem().string())
        id += name_char(static_cast<unsigned char>(c)) ? c : '_';
    if (id.empty() || !(std::isalpha(static_cast<unsigned char>(id.front())) || id.front() == '_'))
        id.insert(0, "run_");
    return id;
}

std::string folder_uri(const std::filesystem::path& source) {
    std::error_code unknown;
    std::filesystem::path folder = std::filesystem::absolute(source, unknown).parent_path();
    if (unknown)
        folder = source.parent_path();
    std::string uri = "file://";
    std::string path = folder.generic_string();
    // A Windows path "C:/x" becomes "file:///C:/x".
    if (path.empty() || path.front() != '/')
        uri += '/';
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~' ||
            c == ':')
            uri += c;
        else
            fmt::format_to(std::back_inserter(uri), "%{:02X}", byte);
    }
    return uri;
}

void append_head(std::string& out, const RunHead& head) {
    out += XML_HEAD;
    out += "  <mzML xmlns=\"http://psi.hupo.org/ms/mzml\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"http://psi.hupo.org/ms/mzml "
           "http://psidev.info/files/ms/mzML/xsd/mzML1.1.0.xsd\" id=\"";
    const std::string id = run_id(head.source);
    out += id;
    out += "\" version=\"1.1.0\">\n";
    out += CV_LIST;
    append_file_description(out, head);
    append_software(out);
    append_instrument_configurations(out, 2, head.instrument);
    append_data_processing(out);
    fmt::format_to(std::back_inserter(out),
                   "    <run id=\"{}\" defaultInstrumentConfigurationRef=\"{}\" "
                   "defaultSourceFileRef=\"{}\">\n"
                   "      <spectrumList count=\"{}\" defaultDataProcessingRef=\"{}\">\n",
                   id, INSTRUMENT_CONFIGURATION_ID, SOURCE_FILE_ID, head.spectrum_count,
                   DATA_PROCESSING_ID);
}

} // namespace orvohost::mzml
