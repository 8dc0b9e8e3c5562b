// The tests' way to set a reader up on a file without a whole open.
#pragma once

#include "mzXMLReader.h"

namespace orvoeng {

struct ReaderAccess {
    static bool open_file(MzXMLReader& reader, const std::wstring& path) {
        const bool opened = reader.file.open_read(path);
        reader.view.reset();
        return opened;
    }
    static ScanOffsets& offsets(MzXMLReader& reader) { return reader.index; }
    static std::uint32_t& scan_count(MzXMLReader& reader) { return reader.scanCount; }
    static bool& run_centroided_given(MzXMLReader& reader) { return reader.run_centroided_given; }
    static void look_ahead_thoroughly(MzXMLReader& reader) { reader.look_ahead.set_thorough(true); }
    static std::size_t headers_read_early(const MzXMLReader& reader) {
        return reader.early_headers.read();
    }
};

} // namespace orvoeng
