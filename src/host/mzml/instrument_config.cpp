#include "instrument_config.h"

#include "xml_text.h"

#include <host/session/utf8_text.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace orvohost::mzml {

namespace {

struct Alias {
    std::string_view text;
    Cv term;
};

// What mzXML files write besides the vocabulary's own names.
constexpr std::array IONISATION_ALIASES{
    Alias{"ESI", Cv::ELECTROSPRAY},
    Alias{"NSI", Cv::NANOELECTROSPRAY},
    Alias{"nanoESI", Cv::NANOELECTROSPRAY},
    Alias{"nano-ESI", Cv::NANOELECTROSPRAY},
    Alias{"MALDI", Cv::MALDI},
    Alias{"APCI", Cv::APCI},
};
constexpr std::array IONISATION_TERMS{Cv::ELECTROSPRAY, Cv::NANOELECTROSPRAY, Cv::MALDI, Cv::APCI};

constexpr std::array ANALYZER_ALIASES{
    Alias{"IT", Cv::ION_TRAP},
    Alias{"ITMS", Cv::ION_TRAP},
    Alias{"QIT", Cv::QUADRUPOLE_ION_TRAP},
    Alias{"LIT", Cv::LINEAR_ION_TRAP},
    Alias{"Q", Cv::QUADRUPOLE},
    Alias{"TOF", Cv::TIME_OF_FLIGHT},
    Alias{"TOFMS", Cv::TIME_OF_FLIGHT},
    Alias{"FT-ICR", Cv::FT_ICR},
    Alias{"FTICR", Cv::FT_ICR},
    Alias{"ICR", Cv::FT_ICR},
};
constexpr std::array ANALYZER_TERMS{Cv::ION_TRAP,   Cv::QUADRUPOLE_ION_TRAP, Cv::LINEAR_ION_TRAP,
                                    Cv::QUADRUPOLE, Cv::TIME_OF_FLIGHT,      Cv::FT_ICR,
                                    Cv::ORBITRAP};

constexpr std::array DETECTOR_ALIASES{
    Alias{"EMT", Cv::ELECTRON_MULTIPLIER},
    Alias{"EM", Cv::ELECTRON_MULTIPLIER},
    Alias{"electron multiplier tube", Cv::ELECTRON_MULTIPLIER},
    Alias{"MCP", Cv::MICROCHANNEL_PLATE},
    Alias{"PMT", Cv::PHOTOMULTIPLIER},
};
constexpr std::array DETECTOR_TERMS{Cv::ELECTRON_MULTIPLIER, Cv::MICROCHANNEL_PLATE,
                                    Cv::FARADAY_CUP, Cv::PHOTOMULTIPLIER};

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool same_words(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

template <std::size_t A, std::size_t T>
std::optional<Cv> term_of(std::string_view text, const std::array<Alias, A>& aliases,
                          const std::array<Cv, T>& terms) {
    text = trimmed(text);
    for (const Cv term : terms)
        if (same_words(text, cv(term).name))
            return term;
    for (const Alias& alias : aliases)
        if (same_words(text, alias.text))
            return alias.term;
    return std::nullopt;
}

void append_component(std::string& out, std::size_t level, const char* kind, int order, Cv term) {
    out += indent(level);
    out += '<';
    out += kind;
    out += " order=\"";
    out += std::to_string(order);
    out += "\">\n";
    append_cv_param(out, level + 1, term);
    out += indent(level);
    out += "</";
    out += kind;
    out += ">\n";
}

} // namespace

std::optional<Cv> ionisation_term(std::string_view text) {
    return term_of(text, IONISATION_ALIASES, IONISATION_TERMS);
}

std::optional<Cv> analyzer_term(std::string_view text) {
    return term_of(text, ANALYZER_ALIASES, ANALYZER_TERMS);
}

std::optional<Cv> detector_term(std::string_view text) {
    return term_of(text, DETECTOR_ALIASES, DETECTOR_TERMS);
}

InstrumentDescription describe_instrument(const orvoeng::InstrumentInfo& info) {
    InstrumentDescription instrument;
    for (const auto& [key, wide_value] : info) {
        const std::string value = utf8(wide_value);
        if (key == orvoeng::Instrument) {
            instrument.model = std::string(trimmed(value));
        } else if (key == orvoeng::MassAnalyzer) {
            instrument.analyzer = analyzer_term(value);
        } else if (key == orvoeng::Detail) {
            // "category|value"
            const std::size_t bar = value.find('|');
            if (bar == std::string::npos)
                continue;
            const std::string_view category = std::string_view(value).substr(0, bar);
            const std::string_view text = std::string_view(value).substr(bar + 1);
            if (category == "Ionisation")
                instrument.source = ionisation_term(text);
            else if (category == "Detector")
                instrument.detector = detector_term(text);
        }
    }
    return instrument;
}

void append_instrument_configurations(std::string& out, std::size_t level,
                                      const InstrumentDescription& instrument) {
    out += indent(level);
    out += "<instrumentConfigurationList count=\"1\">\n";
    out += indent(level + 1);
    out += "<instrumentConfiguration id=\"";
    out += INSTRUMENT_CONFIGURATION_ID;
    out += "\">\n";
    // The file names its model in words, not by a term: the generic term
    // carries them as its value.
    append_cv_param(out, level + 2, Cv::INSTRUMENT_MODEL, instrument.model);
    if (instrument.has_components()) {
        out += indent(level + 2);
        out += "<componentList count=\"3\">\n";
        append_component(out, level + 3, "source", 1, *instrument.source);
        append_component(out, level + 3, "analyzer", 2, *instrument.analyzer);
        append_component(out, level + 3, "detector", 3, *instrument.detector);
        out += indent(level + 2);
        out += "</componentList>\n";
    }
    out += indent(level + 1);
    out += "</instrumentConfiguration>\n";
    out += indent(level);
    out += "</instrumentConfigurationList>\n";
}

} // namespace orvohost::mzml
