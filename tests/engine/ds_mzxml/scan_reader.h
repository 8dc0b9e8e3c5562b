// Scan tests: a reader on a file written by the test with its index set
// directly, and a recorder of the reads that reach the platform's file seam.
#pragma once

#include "mzXMLReader.h"
#include "support/mzxml_fixture.h"

#include <os/syscalls.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace fixture {

// Without `entries`: the writer's scan offsets, then the index offset or the
// offset of "</msRun>" as the end entry. open() is not involved.
struct ScanFile {
    explicit ScanFile(const MzXmlWriter& writer, std::vector<std::int64_t> entries = {}) {
        if (entries.empty()) {
            entries = writer.scan_offsets();
            entries.push_back(writer.index_offset() >= 0 ? writer.index_offset()
                                                         : writer.run_end_offset());
        }
        reader.file.open_read(dir.write("scans.mzXML", writer.str()).wstring());
        reader.offsets = entries;
        reader.scanCount = static_cast<std::uint32_t>(entries.size() - 1);
    }
    TempDir dir;
    MzXMLReader reader;
};

// Every read of the file seam while alive: {offset, count}, offset -1 for a
// read at the current position.
class ReadRecorder {
public:
    ReadRecorder() : saved(PAL::os::syscalls()) {
        reads().clear();
        PAL::os::syscalls().file_read_at = [](std::intptr_t h, std::int64_t at, void* buffer,
                                              std::uint32_t count, std::uint32_t& error) {
            reads().push_back({at, count});
            return PAL::os::native_syscalls().file_read_at(h, at, buffer, count, error);
        };
        PAL::os::syscalls().file_read = [](std::intptr_t h, void* buffer, std::uint32_t count,
                                           std::uint32_t& error) {
            reads().push_back({-1, count});
            return PAL::os::native_syscalls().file_read(h, buffer, count, error);
        };
    }
    ~ReadRecorder() { PAL::os::syscalls() = saved; }

    static std::vector<std::pair<std::int64_t, std::uint32_t>>& reads() {
        static std::vector<std::pair<std::int64_t, std::uint32_t>> all;
        return all;
    }
    static std::int64_t furthest() {
        std::int64_t end = 0;
        for (const auto& [at, count] : reads())
            end = std::max(end, at + static_cast<std::int64_t>(count));
        return end;
    }
    static std::int64_t total() {
        std::int64_t sum = 0;
        for (const auto& read : reads())
            sum += read.second;
        return sum;
    }

private:
    PAL::os::Syscalls saved;
};

} // namespace fixture
