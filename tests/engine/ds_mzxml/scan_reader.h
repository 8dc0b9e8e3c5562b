// Scan tests: a reader on a file written by the test, its index set directly
// (so these tests do not depend on how an index is found), and a recorder of
// the reads that reach the platform's file seam.
#pragma once

#include "mzXMLReader.h"
#include "support/mzxml_fixture.h"

#include <os/syscalls.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fixture {

// The writer's scan offsets and the end entry that bounds the last scan: the
// index offset when an index was written, else the offset of "</msRun>".
inline std::vector<std::int64_t> index_of(const MzXmlWriter& writer) {
    std::vector<std::int64_t> entries = writer.scan_offsets();
    entries.push_back(writer.index_offset() >= 0 ? writer.index_offset() : writer.run_end_offset());
    return entries;
}

struct ScanFile {
    ScanFile(const std::string& bytes, std::vector<std::int64_t> entries) {
        opened = reader.file.open_read(dir.write("scans.mzXML", bytes).wstring());
        reader.offsets = std::move(entries);
        reader.scanCount = static_cast<std::uint32_t>(reader.offsets.size() - 1);
    }
    explicit ScanFile(const MzXmlWriter& writer) : ScanFile(writer.str(), index_of(writer)) {}

    TempDir dir;
    MzXMLReader reader;
    bool opened = false;
};

// Every read of the file seam while alive, positioned or not.
class ReadRecorder {
public:
    struct Read {
        std::int64_t offset; // -1 for a read at the current position
        std::uint32_t count;
    };

    ReadRecorder() : saved(PAL::os::syscalls()) {
        reads().clear();
        PAL::os::syscalls().file_read_at = &read_at;
        PAL::os::syscalls().file_read = &read;
    }
    ~ReadRecorder() { PAL::os::syscalls() = saved; }
    ReadRecorder(const ReadRecorder&) = delete;
    ReadRecorder& operator=(const ReadRecorder&) = delete;

    static std::vector<Read>& reads() {
        static std::vector<Read> all;
        return all;
    }
    // The furthest byte any read asked for.
    static std::int64_t furthest() {
        std::int64_t end = 0;
        for (const Read& r : reads())
            end = std::max(end, r.offset + static_cast<std::int64_t>(r.count));
        return end;
    }
    static std::int64_t total() {
        std::int64_t sum = 0;
        for (const Read& r : reads())
            sum += r.count;
        return sum;
    }

private:
    static std::int64_t read_at(std::intptr_t handle, std::int64_t offset, void* buffer,
                                std::uint32_t count, std::uint32_t& error) {
        reads().push_back({offset, count});
        return PAL::os::native_syscalls().file_read_at(handle, offset, buffer, count, error);
    }
    static std::int64_t read(std::intptr_t handle, void* buffer, std::uint32_t count,
                             std::uint32_t& error) {
        reads().push_back({-1, count});
        return PAL::os::native_syscalls().file_read(handle, buffer, count, error);
    }

    PAL::os::Syscalls saved;
};

} // namespace fixture
