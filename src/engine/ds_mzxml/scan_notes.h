// The reader's notes on a block read ahead: the peaks of its scans for
// peak reads, or their headers for the header pass.
#pragma once

#include "file_view.h"
#include "header_notes.h"
#include "plain_peaks.h"

namespace orvoeng {

class ScanNotes final : public BlockNotes {
public:
    // The kinds an operation asks for (FileView::start_operation).
    static constexpr unsigned PEAKS = 1;
    static constexpr unsigned HEADERS = 2;

    explicit ScanNotes(const std::vector<std::int64_t>& offsets)
        : peak_notes(offsets), header_notes(offsets) {}

    void take(std::int64_t base, std::string_view bytes, unsigned kind, const Gaps& gaps,
              const std::atomic<bool>& wanted) noexcept override {
        forget();
        // Peaks are decoded from whole bytes only.
        if (kind == PEAKS && gaps.empty())
            peak_notes.take(base, bytes, wanted);
        else if (kind == HEADERS)
            header_notes.take(base, bytes, gaps, wanted);
    }
    void forget() noexcept override {
        peak_notes.forget();
        header_notes.forget();
    }

    const PeakNotes& peaks() const { return peak_notes; }
    const HeaderNotes& headers() const { return header_notes; }

private:
    PeakNotes peak_notes;
    HeaderNotes header_notes;
};

} // namespace orvoeng
