// The copy's bytes in file order while compressed peak texts inflate on
// other threads. Inflating is most of the work of repairing an mzXML 3.x
// file, and each peak text inflates on its own; what follows a peak text
// waits here, in order, until the text before it is done. Positions asked
// for (a scan's offset, for the index) are taken when their bytes reach
// the writer. With one thread everything happens in the caller's, at once.
//
// Peak texts go to the threads in batches, and a caller that must wait for
// one inflates a batch still queued instead of sleeping: on a machine of
// few cores, a thread put to sleep and woken for every text (a file holds
// tens of thousands) costs more than the inflating.
#pragma once

#include "copy_writer.h"
#include "peak_text.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace orvohost::repair {

class OrderedCopy {
public:
    // Called in file order with whether the peak text inflated.
    using Settled = std::function<void(bool inflated)>;

    // Inflates on `threads` threads in all, the caller's among them.
    OrderedCopy(CopyWriter& out, unsigned threads);
    ~OrderedCopy();
    OrderedCopy(const OrderedCopy&) = delete;
    OrderedCopy& operator=(const OrderedCopy&) = delete;

    void write(std::string_view bytes);
    // Appends the copy's offset at this point to `into`.
    void append_position(std::vector<std::uint64_t>& into);
    // A zlib peak text, gathered where it is inflated from: its pieces are
    // appended to the string peak_text() gives, then write_peaks() writes
    // `plain_tag` and the inflated text when it inflates, `kept_tag` and the
    // text as it was when it does not; or take_back_text() gives the text
    // back, to be written as it is. Nothing is written in between.
    std::string& peak_text();
    void write_peaks(std::string_view plain_tag, std::string_view kept_tag, Settled settled);
    std::string take_back_text();
    // Writes everything still waiting; the writer's position and digest are
    // then those of every byte given.
    CopyWriter& settle();

private:
    // Where a text's bytes stand in its batch's buffers.
    struct PeakText {
        std::size_t plain_tag = 0; // the tags' sizes, one after the other in `tags`
        std::size_t kept_tag = 0;
        std::size_t compressed = 0;
        std::size_t plain = 0;
        bool inflated = false;
        Settled settled;
    };
    // Texts inflated together, their bytes in a few buffers kept from one
    // batch to the next: one hand-over and no allocation a text.
    struct Batch {
        std::string tags;
        std::string compressed;
        std::string plain;
        std::vector<PeakText> texts;
        // Where the next text to be written starts in each buffer.
        std::size_t tags_at = 0;
        std::size_t compressed_at = 0;
        std::size_t plain_at = 0;
        std::size_t written = 0;
        bool done = false;      // inflated; under the lock
        bool seen_done = false; // the caller's own copy of `done`, once it is true
    };
    struct Piece {
        std::string bytes;
        std::vector<std::uint64_t>* position_into = nullptr;
        Batch* batch = nullptr; // its next text
    };

    static void inflate(Batch& batch, PeakInflater& with);
    // Takes the batch at the queue's front and inflates it with the lock
    // released; the batch, done.
    Batch* inflate_front(std::unique_lock<std::mutex>& guard, PeakInflater& with);
    // Writes the batch's next text.
    void finish(Batch& batch);
    // A batch to gather texts in, from the spare ones when there is one.
    Batch& new_batch();
    // Hands the batch being gathered to the threads.
    void queue_open();
    // Waits until `batch` is inflated, inflating queued batches meanwhile.
    void await(Batch& batch);
    // Writes the first waiting piece, once it is ready.
    void write_front();
    // Writes waiting pieces from the front until at most `batches_kept`
    // batches and `bytes_kept` bytes wait.
    void drain(std::size_t batches_kept, std::size_t bytes_kept);
    void work();

    CopyWriter& out;
    PeakInflater inflater; // for the caller's thread
    // With one thread: the text gathered, and inflated.
    std::string gathered;
    std::string scratch;
    std::size_t gathered_at = 0; // where the text gathered starts in its buffer
    std::deque<Piece> pieces;
    // Batches not yet written, in file order, and written ones to reuse.
    std::deque<std::unique_ptr<Batch>> batches;
    std::vector<std::unique_ptr<Batch>> spare;
    Batch* open = nullptr; // gathering texts, not yet queued
    std::size_t waiting_bytes = 0;
    std::size_t batches_limit = 0;
    bool inline_only = true; // one thread: every text inflated as it comes

    std::mutex lock;
    std::condition_variable queued;
    std::condition_variable finished;
    std::deque<Batch*> queue;
    const Batch* awaited = nullptr; // the batch the caller waits for
    std::size_t idle_workers = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};

} // namespace orvohost::repair
