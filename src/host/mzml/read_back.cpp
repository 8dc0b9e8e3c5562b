#include "read_back.h"

#include "cv_terms.h"
#include "file_sha1.h"
#include "mzml_error.h"

#include <host/base/hex.h>

#include <expat.h>
#include <nettle/sha1.h>

#include <fmt/format.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace orvohost::mzml {

const ReadParam* ReadElement::param(std::string_view accession, ParamPlace place) const {
    for (const auto& [where, param] : params)
        if (where == place && param.accession == accession)
            return &param;
    return nullptr;
}

namespace {

enum class Tag : unsigned char {
    OTHER,
    SPECTRUM_LIST,
    SPECTRUM,
    SCAN_LIST,
    SCAN,
    PRECURSOR,
    SELECTED_ION,
    ACTIVATION,
    BINARY_DATA_ARRAY,
    BINARY,
    CHROMATOGRAM,
    INDEX_LIST,
    INDEX,
    OFFSET,
    INDEX_LIST_OFFSET,
    FILE_CHECKSUM,
    CV_PARAM,
};

Tag tag_of(std::string_view name) {
    static constexpr std::pair<std::string_view, Tag> NAMES[] = {
        {"cvParam", Tag::CV_PARAM},
        {"spectrumList", Tag::SPECTRUM_LIST},
        {"spectrum", Tag::SPECTRUM},
        {"scanList", Tag::SCAN_LIST},
        {"scan", Tag::SCAN},
        {"precursor", Tag::PRECURSOR},
        {"selectedIon", Tag::SELECTED_ION},
        {"activation", Tag::ACTIVATION},
        {"binaryDataArray", Tag::BINARY_DATA_ARRAY},
        {"binary", Tag::BINARY},
        {"chromatogram", Tag::CHROMATOGRAM},
        {"indexList", Tag::INDEX_LIST},
        {"index", Tag::INDEX},
        {"offset", Tag::OFFSET},
        {"indexListOffset", Tag::INDEX_LIST_OFFSET},
        {"fileChecksum", Tag::FILE_CHECKSUM},
    };
    for (const auto& [text, tag] : NAMES)
        if (name == text)
            return tag;
    return Tag::OTHER;
}

std::string_view attribute(const XML_Char** attributes, std::string_view name) {
    for (const XML_Char** a = attributes; *a; a += 2)
        if (name == a[0])
            return a[1];
    return {};
}

std::size_t whole_number(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw MzmlArrayError(fmt::format("'{}' is not a count", text));
    return value;
}

// The encoding its cvParams state; raises MzmlArrayError when they state
// none, or one not known here.
ArrayFormat format_of(const std::vector<ReadParam>& params) {
    ArrayFormat format;
    bool typed = false;
    bool compressed = false;
    for (const ReadParam& p : params) {
        if (p.accession == cv(Cv::FLOAT_32).accession ||
            p.accession == cv(Cv::FLOAT_64).accession) {
            format.wide = p.accession == cv(Cv::FLOAT_64).accession;
            typed = true;
            continue;
        }
        static constexpr std::pair<Cv, std::pair<bool, Numpress>> COMPRESSIONS[] = {
            {Cv::NO_COMPRESSION, {false, Numpress::NONE}},
            {Cv::ZLIB, {true, Numpress::NONE}},
            {Cv::NUMPRESS_LINEAR, {false, Numpress::LINEAR}},
            {Cv::NUMPRESS_PIC, {false, Numpress::PIC}},
            {Cv::NUMPRESS_SLOF, {false, Numpress::SLOF}},
            {Cv::NUMPRESS_LINEAR_ZLIB, {true, Numpress::LINEAR}},
            {Cv::NUMPRESS_PIC_ZLIB, {true, Numpress::PIC}},
            {Cv::NUMPRESS_SLOF_ZLIB, {true, Numpress::SLOF}},
        };
        for (const auto& [term, how] : COMPRESSIONS)
            if (p.accession == cv(term).accession) {
                format.zlib = how.first;
                format.numpress = how.second;
                compressed = true;
            }
    }
    if (!typed)
        throw MzmlArrayError("an array states no data type");
    if (!compressed)
        throw MzmlArrayError("an array states no compression");
    return format;
}

class Reader {
public:
    Reader(const std::filesystem::path& path, const ReadBackHandlers& on)
        : file(path), handlers(on), parser(XML_ParserCreate(nullptr)) {
        if (!parser)
            throw std::bad_alloc();
        XML_SetUserData(parser.get(), this);
        XML_SetElementHandler(parser.get(), &Reader::started, &Reader::ended);
        XML_SetCharacterDataHandler(parser.get(), &Reader::characters);
    }

    ReadBackResult run();

private:
    struct FreeParser {
        void operator()(XML_Parser p) const { XML_ParserFree(p); }
    };

    static void XMLCALL started(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<Reader*>(self)->guarded([&](Reader& r) { r.start(name, attributes); });
    }
    static void XMLCALL ended(void* self, const XML_Char* name) {
        static_cast<Reader*>(self)->guarded([&](Reader& r) { r.end(name); });
    }
    static void XMLCALL characters(void* self, const XML_Char* text, int length) {
        auto& r = *static_cast<Reader*>(self);
        if (r.collecting)
            r.text.append(text, static_cast<std::size_t>(length));
    }

    // An exception must not cross expat's C frames: it stops the parse and
    // is raised again once XML_Parse has returned.
    template <class Step>
    void guarded(Step&& step) {
        if (failure)
            return;
        try {
            step(*this);
        } catch (...) {
            failure = std::current_exception();
            XML_StopParser(parser.get(), XML_FALSE);
        }
    }

    std::uint64_t here() const {
        return static_cast<std::uint64_t>(XML_GetCurrentByteIndex(parser.get()));
    }

    void start(std::string_view name, const XML_Char** attributes);
    void end(std::string_view name);
    void add_param(const XML_Char** attributes);
    void hash_chunk(const std::uint8_t* bytes, std::size_t size, std::uint64_t at);

    std::filesystem::path file;
    const ReadBackHandlers& handlers;
    std::unique_ptr<XML_ParserStruct, FreeParser> parser;
    std::exception_ptr failure;

    std::vector<Tag> open;
    ReadElement element; // the spectrum or chromatogram being read
    bool in_element = false;
    ReadArray array;
    std::size_t array_length = 0;
    std::size_t encoded_length = 0;
    std::string index_name;
    ReadIndexEntry entry;
    std::string text;
    bool collecting = false;

    ReadBackResult result;
    std::optional<std::uint64_t> checksum_end;
    sha1_ctx hash{};
    std::uint64_t hashed = 0;
    bool hash_done = false;
};

void Reader::add_param(const XML_Char** attributes) {
    ReadParam p{std::string(attribute(attributes, "accession")),
                std::string(attribute(attributes, "value")),
                std::string(attribute(attributes, "unitAccession"))};
    const Tag parent = open.empty() ? Tag::OTHER : open.back();
    switch (parent) {
    case Tag::BINARY_DATA_ARRAY:
        array.params.push_back(std::move(p));
        break;
    case Tag::SPECTRUM:
    case Tag::CHROMATOGRAM:
        element.params.emplace_back(ParamPlace::ELEMENT, std::move(p));
        break;
    case Tag::SCAN_LIST:
        element.params.emplace_back(ParamPlace::SCAN_LIST, std::move(p));
        break;
    case Tag::SCAN:
        element.params.emplace_back(ParamPlace::SCAN, std::move(p));
        break;
    case Tag::SELECTED_ION:
        element.params.emplace_back(ParamPlace::SELECTED_ION, std::move(p));
        break;
    case Tag::ACTIVATION:
        element.params.emplace_back(ParamPlace::ACTIVATION, std::move(p));
        break;
    default:
        break; // the head's terms: not compared
    }
}

void Reader::start(std::string_view name, const XML_Char** attributes) {
    const Tag tag = tag_of(name);
    switch (tag) {
    case Tag::CV_PARAM:
        if (in_element)
            add_param(attributes);
        break;
    case Tag::SPECTRUM_LIST:
        result.spectrum_list_count = whole_number(attribute(attributes, "count"));
        break;
    case Tag::SPECTRUM:
    case Tag::CHROMATOGRAM:
        element = ReadElement{};
        in_element = true;
        element.offset = here();
        element.id = attribute(attributes, "id");
        element.index = attribute(attributes, "index");
        element.length = whole_number(attribute(attributes, "defaultArrayLength"));
        break;
    case Tag::PRECURSOR:
        element.has_precursor = true;
        element.spectrum_ref = attribute(attributes, "spectrumRef");
        element.external_id = attribute(attributes, "externalSpectrumID");
        break;
    case Tag::BINARY_DATA_ARRAY: {
        array = ReadArray{};
        const std::string_view stated = attribute(attributes, "arrayLength");
        array_length = stated.empty() ? element.length : whole_number(stated);
        encoded_length = whole_number(attribute(attributes, "encodedLength"));
        break;
    }
    case Tag::INDEX_LIST:
        result.index_list_at = here();
        break;
    case Tag::INDEX:
        index_name = attribute(attributes, "name");
        break;
    case Tag::OFFSET:
        entry = ReadIndexEntry{index_name, std::string(attribute(attributes, "idRef")), {}};
        break;
    case Tag::FILE_CHECKSUM:
        checksum_end = here() + static_cast<std::uint64_t>(XML_GetCurrentByteCount(parser.get()));
        break;
    default:
        break;
    }
    collecting = tag == Tag::BINARY || tag == Tag::OFFSET || tag == Tag::INDEX_LIST_OFFSET ||
                 tag == Tag::FILE_CHECKSUM;
    text.clear();
    open.push_back(tag);
}

void Reader::end(std::string_view name) {
    const Tag tag = tag_of(name);
    open.pop_back();
    collecting = false;
    switch (tag) {
    case Tag::BINARY:
        if (text.size() != encoded_length)
            throw MzmlArrayError(fmt::format("an array of {} states an encodedLength of {} for "
                                             "{} characters",
                                             element.id, encoded_length, text.size()));
        array.format = format_of(array.params);
        try {
            array.values = decode_array(text, array.format, array_length);
        } catch (const MzmlArrayError& error) {
            throw MzmlArrayError(fmt::format("an array of {}: {}", element.id, error.what()));
        }
        break;
    case Tag::BINARY_DATA_ARRAY:
        element.arrays.push_back(std::move(array));
        break;
    case Tag::SPECTRUM:
        in_element = false;
        if (handlers.spectrum)
            handlers.spectrum(element);
        break;
    case Tag::CHROMATOGRAM:
        in_element = false;
        if (handlers.chromatogram)
            handlers.chromatogram(element);
        break;
    case Tag::OFFSET:
        entry.offset = text;
        if (handlers.index_entry)
            handlers.index_entry(entry);
        break;
    case Tag::INDEX_LIST_OFFSET:
        result.index_list_offset = text;
        break;
    case Tag::FILE_CHECKSUM:
        result.checksum = text;
        break;
    default:
        break;
    }
}

void Reader::hash_chunk(const std::uint8_t* bytes, std::size_t size, std::uint64_t at) {
    if (hash_done)
        return;
    std::size_t take = size;
    if (checksum_end) {
        // The checksum's start tag has been read: the digest ends after it.
        if (*checksum_end < at) {
            hash_done = true; // found late: read again below
            return;
        }
        take = static_cast<std::size_t>(std::min<std::uint64_t>(size, *checksum_end - at));
        hash_done = *checksum_end <= at + size;
    }
    sha1_update(&hash, take, bytes);
    hashed += take;
    if (hash_done && hashed == *checksum_end) {
        std::uint8_t digest[SHA1_DIGEST_SIZE];
        sha1_digest(&hash, SHA1_DIGEST_SIZE, digest);
        result.digest = hex(digest, SHA1_DIGEST_SIZE);
    }
}

ReadBackResult Reader::run() {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const std::unique_ptr<std::FILE, Closer> in(std::fopen(file.string().c_str(), "rb"));
    if (!in)
        throw MzmlVerifyError(file, fmt::format("cannot be read back: {}", std::strerror(errno)));
    sha1_init(&hash);
    constexpr std::size_t BLOCK = std::size_t{1} << 20;
    std::vector<std::uint8_t> block(BLOCK);
    std::uint64_t at = 0;
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, BLOCK, in.get());
        if (std::ferror(in.get()))
            throw MzmlVerifyError(file,
                                  fmt::format("cannot be read back: {}", std::strerror(errno)));
        const bool last = got < BLOCK;
        const XML_Status status = XML_Parse(
            parser.get(), reinterpret_cast<const char*>(block.data()), static_cast<int>(got), last);
        if (failure)
            std::rethrow_exception(failure);
        if (status != XML_STATUS_OK)
            throw MzmlVerifyError(file, fmt::format("is not well-formed XML: {} at line {}",
                                                    XML_ErrorString(XML_GetErrorCode(parser.get())),
                                                    XML_GetCurrentLineNumber(parser.get())));
        // Hashed after the parse, which tells where the digest ends.
        hash_chunk(block.data(), got, at);
        at += got;
        if (last)
            break;
    }
    if (checksum_end && !result.digest)
        result.digest = file_prefix_sha1(file, *checksum_end);
    return std::move(result);
}

} // namespace

ReadBackResult read_back(const std::filesystem::path& file, const ReadBackHandlers& handlers) {
    try {
        return Reader(file, handlers).run();
    } catch (const MzmlArrayError& error) {
        throw MzmlVerifyError(file, error.what());
    }
}

} // namespace orvohost::mzml
