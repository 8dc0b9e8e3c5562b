// Scan tests: a reader on a test-written file; a recorder of the file seam's reads.
#pragma once

#include "reader_access.h"
#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include <ds/messages.h>
#include <os/syscalls.h>

#include <gtest/gtest.h>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers" // cases name what they change

namespace fixture {

using namespace orvoeng;

// `scans` after `text`; index: the scan offsets and that of "</msRun>".
struct ScanFile {
    explicit ScanFile(const std::vector<ScanSpec>& scans, const std::string& text = "") {
        writer.begin(static_cast<int>(scans.size())).text(text);
        for (const ScanSpec& scan : scans)
            writer.scan(scan);
        writer.end_run().no_index();
        ReaderAccess::open_file(reader, dir.write("scans.mzXML", writer.str()).wstring());
        const std::vector<std::int64_t>& at = writer.scan_offsets();
        ReaderAccess::offsets(reader).assign(at.begin(), at.end());
        ReaderAccess::offsets(reader).push_back(writer.run_end_offset());
        ReaderAccess::scan_count(reader) = static_cast<std::uint32_t>(scans.size());
    }
    MzXmlWriter writer;
    TempDir dir;
    MzXMLReader reader;
};

// {offset, count} of every read while alive (the scan readers read at offsets).
struct ReadRecorder {
    using Reads = std::vector<std::pair<std::int64_t, std::int64_t>>;
    static inline Reads reads;
    const PAL::os::Syscalls saved = PAL::os::syscalls();
    ReadRecorder() {
        reads.clear();
        PAL::os::syscalls().file_read_at = [](std::intptr_t h, std::int64_t at, void* buffer,
                                              std::uint32_t count, std::uint32_t& error) {
            reads.push_back({at, count});
            return PAL::os::native_syscalls().file_read_at(h, at, buffer, count, error);
        };
    }
    ~ReadRecorder() { PAL::os::syscalls() = saved; }
};

} // namespace fixture
