// Spectra turned into text on other cores while the next are fetched. A
// data source's calls must not overlap, so the calling thread alone fetches
// and adds each spectrum; worker threads format batches of them, and each
// batch's text is handed on in the order the spectra were added. Memory
// holds a bounded number of batches: when every batch is in flight, add()
// waits for the oldest to be written.
#pragma once

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <pal/atomic.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orvohost {

class TextPipeline {
public:
    // Appends the text of one scan (its spectrum may be null) to `out`.
    using Format = std::function<void(std::string& out, const orvoeng::ScanRecord& scan,
                                      const orvoeng::Spectrum* spectrum)>;
    // Takes a batch's text, in order, one call at a time; may empty it.
    using Sink = std::function<void(std::string& text)>;

    // With no workers, add() formats on the calling thread.
    TextPipeline(unsigned workers, Format format, Sink sink);
    // Without finish(), what is still in flight is dropped.
    ~TextPipeline();
    TextPipeline(const TextPipeline&) = delete;
    TextPipeline& operator=(const TextPipeline&) = delete;

    // `scan` must outlive the pipeline. Raises what a sink or a format
    // raised earlier; the pipeline then takes nothing more.
    void add(const orvoeng::ScanRecord& scan, PAL::SmartPtr<orvoeng::Spectrum> spectrum);
    // Formats and hands on what is left, then stops the workers; raises
    // the first failure of a sink or a format.
    void finish();

private:
    struct Batch {
        std::vector<std::pair<const orvoeng::ScanRecord*, PAL::SmartPtr<orvoeng::Spectrum>>> items;
        std::size_t peaks = 0;
        std::string text;
        bool ready = false;
    };

    void format_batch(Batch& batch);
    void submit();
    Batch* free_batch(std::unique_lock<std::mutex>& guard);
    void work();
    // Formats the oldest batch that waits for a worker and hands on what is
    // ready; called with the lock held and a batch pending.
    void format_pending(std::unique_lock<std::mutex>& guard);
    // Hands on every formatted batch at the head of the queue; called with
    // the lock held, which it releases while a sink runs.
    void hand_on_ready(std::unique_lock<std::mutex>& guard);
    void stop_workers();
    // Runs `step` with the lock released unless a step failed before, and
    // keeps the first failure; returns with the lock held.
    template <class Step>
    void unlocked_unless_failed(std::unique_lock<std::mutex>& guard, Step&& step);

    Format format;
    Sink sink;
    std::size_t batch_limit;
    std::vector<std::unique_ptr<Batch>> batches;
    Batch* current = nullptr;

    std::mutex lock;
    std::condition_variable work_ready;
    std::condition_variable batch_free;
    std::deque<Batch*> pending;   // added, not yet taken by a worker
    std::deque<Batch*> in_flight; // added, not yet handed on: in order
    std::vector<Batch*> free;
    bool handing_on = false;
    bool stopping = false;
    std::exception_ptr failure;
    std::vector<std::jthread> threads;
};

} // namespace orvohost
