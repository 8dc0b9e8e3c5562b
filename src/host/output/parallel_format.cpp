#include "parallel_format.h"

#include <utility>

namespace orvohost {

namespace {

// A batch is closed at this many peaks or spectra: large enough that a
// worker's turn costs far more than its hand-over, small enough that the
// batches in flight stay a few mebibytes.
constexpr std::size_t batch_peaks = std::size_t{1} << 14;
constexpr std::size_t batch_spectra = 128;
// Without workers, text is handed on once it passes this size.
constexpr std::size_t inline_text = std::size_t{1} << 20;

} // namespace

TextPipeline::TextPipeline(unsigned workers, Format format_text, Sink take)
    : format(std::move(format_text)), sink(std::move(take)),
      // Each worker can hold one batch while the next waits for it, and the
      // caller fills one more.
      batch_limit(2 * static_cast<std::size_t>(workers) + 2) {
    batches.push_back(std::make_unique<Batch>());
    current = batches.back().get();
    for (unsigned i = 0; i < workers; ++i)
        threads.emplace_back([this] { work(); });
}

TextPipeline::~TextPipeline() {
    stop_workers();
}

void TextPipeline::stop_workers() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        // After finish() nothing is pending; before it, what is left is
        // dropped, not written after a failure.
        pending.clear();
    }
    work_ready.notify_all();
    threads.clear();
}

void TextPipeline::format_batch(Batch& batch) {
    for (const auto& [scan, spectrum] : batch.items)
        format(batch.text, *scan, spectrum.get());
    // The spectra go as soon as their text is made, not when it is written.
    batch.items.clear();
    batch.peaks = 0;
}

void TextPipeline::add(const orvoeng::ScanRecord& scan, PAL::SmartPtr<orvoeng::Spectrum> spectrum) {
    if (threads.empty()) {
        format(current->text, scan, spectrum.get());
        if (current->text.size() >= inline_text) {
            sink(current->text);
            current->text.clear();
        }
        return;
    }
    current->peaks += spectrum ? spectrum->peaks->size() : 0;
    current->items.emplace_back(&scan, std::move(spectrum));
    if (current->peaks >= batch_peaks || current->items.size() >= batch_spectra)
        submit();
}

void TextPipeline::submit() {
    std::unique_lock<std::mutex> guard(lock);
    if (failure)
        std::rethrow_exception(failure);
    current->ready = false;
    pending.push_back(current);
    in_flight.push_back(current);
    current = nullptr;
    work_ready.notify_one();
    current = free_batch(guard);
}

TextPipeline::Batch* TextPipeline::free_batch(std::unique_lock<std::mutex>& guard) {
    if (free.empty() && batches.size() < batch_limit) {
        batches.push_back(std::make_unique<Batch>());
        return batches.back().get();
    }
    // While every batch is in flight, the calling thread formats one that
    // waits for a worker rather than sit idle: the fetching is light, and
    // so the budget's every thread makes text.
    while (free.empty()) {
        if (pending.empty() || failure) {
            batch_free.wait(guard, [this] { return !free.empty(); });
            break;
        }
        format_pending(guard);
    }
    Batch* batch = free.back();
    free.pop_back();
    return batch;
}

template <class Step>
void TextPipeline::unlocked_unless_failed(std::unique_lock<std::mutex>& guard, Step&& step) {
    // After a failure nothing more is made or written: the batches only
    // travel on, so that no thread waits for one forever.
    if (failure)
        return;
    guard.unlock();
    std::exception_ptr error;
    try {
        step();
    } catch (...) {
        error = std::current_exception();
    }
    guard.lock();
    if (error && !failure)
        failure = error;
}

void TextPipeline::work() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        work_ready.wait(guard, [this] { return stopping || !pending.empty(); });
        if (pending.empty())
            return;
        format_pending(guard);
    }
}

void TextPipeline::format_pending(std::unique_lock<std::mutex>& guard) {
    Batch* batch = pending.front();
    pending.pop_front();
    unlocked_unless_failed(guard, [this, batch] { format_batch(*batch); });
    batch->items.clear();
    batch->ready = true;
    hand_on_ready(guard);
}

void TextPipeline::hand_on_ready(std::unique_lock<std::mutex>& guard) {
    // One thread hands on at a time; a batch made ready while it does is
    // seen by its next look at the head of the queue.
    if (handing_on)
        return;
    handing_on = true;
    while (!in_flight.empty() && in_flight.front()->ready) {
        Batch* batch = in_flight.front();
        in_flight.pop_front();
        unlocked_unless_failed(guard, [this, batch] { sink(batch->text); });
        batch->text.clear();
        free.push_back(batch);
        batch_free.notify_all();
    }
    handing_on = false;
}

void TextPipeline::finish() {
    if (threads.empty()) {
        if (!current->text.empty())
            sink(current->text);
        current->text.clear();
        return;
    }
    if (!current->items.empty())
        submit();
    {
        std::unique_lock<std::mutex> guard(lock);
        batch_free.wait(guard, [this] { return in_flight.empty(); });
    }
    stop_workers();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace orvohost
