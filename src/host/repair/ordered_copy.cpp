#include "ordered_copy.h"

namespace orvohost::repair {

namespace {

// Bytes that may wait behind a peak text still inflating: enough for the
// threads to stay busy, few enough to stay out of the way of memory.
constexpr std::size_t WAITING_BYTES = std::size_t{16} << 20;
// A batch is handed over once it holds this many compressed bytes or
// texts: a hand-over for some tens of texts, and the batches in flight few
// megabytes, which a system slow to give a process fresh memory gives once.
constexpr std::size_t BATCH_BYTES = std::size_t{128} << 10;
constexpr std::size_t BATCH_TEXTS = 32;

} // namespace

OrderedCopy::OrderedCopy(CopyWriter& copy, unsigned threads) : out(copy) {
    if (threads <= 1)
        return;
    inline_only = false;
    batches_limit = std::size_t{4} * threads;
    for (unsigned i = 1; i < threads; ++i)
        workers.emplace_back([this] { work(); });
}

OrderedCopy::~OrderedCopy() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    queued.notify_all();
    for (auto& worker : workers)
        worker.join();
}

void OrderedCopy::inflate(Batch& batch, PeakInflater& with) {
    std::size_t at = 0;
    for (auto& text : batch.texts) {
        const std::size_t before = batch.plain.size();
        text.inflated = with.append_plain_text(
            std::string_view(batch.compressed).substr(at, text.compressed), batch.plain);
        text.plain = batch.plain.size() - before;
        at += text.compressed;
    }
}

OrderedCopy::Batch* OrderedCopy::inflate_front(std::unique_lock<std::mutex>& guard,
                                               PeakInflater& with) {
    Batch* const batch = queue.front();
    queue.pop_front();
    guard.unlock();
    inflate(*batch, with);
    guard.lock();
    batch->done = true;
    return batch;
}

void OrderedCopy::work() {
    PeakInflater own;
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        ++idle_workers;
        queued.wait(guard, [&] { return stopping || !queue.empty(); });
        --idle_workers;
        if (stopping)
            return;
        const Batch* const batch = inflate_front(guard, own);
        // Only the batch the caller waits for wakes it: others finishing
        // ahead of it would wake it for nothing.
        if (batch == awaited)
            finished.notify_one();
    }
}

void OrderedCopy::write(std::string_view bytes) {
    if (pieces.empty())
        return out.write(bytes);
    if (pieces.back().batch || pieces.back().position_into)
        pieces.emplace_back();
    pieces.back().bytes.append(bytes);
    waiting_bytes += bytes.size();
    if (waiting_bytes > WAITING_BYTES)
        drain(batches_limit, WAITING_BYTES / 2);
}

void OrderedCopy::append_position(std::vector<std::uint64_t>& into) {
    if (pieces.empty())
        return into.push_back(out.position());
    pieces.push_back(Piece{{}, &into, nullptr});
}

std::string& OrderedCopy::peak_text() {
    if (inline_only) {
        gathered.clear();
        gathered_at = 0;
        return gathered;
    }
    Batch& batch = open ? *open : new_batch();
    gathered_at = batch.compressed.size();
    return batch.compressed;
}

std::string OrderedCopy::take_back_text() {
    std::string& from = inline_only ? gathered : open->compressed;
    std::string text = from.substr(gathered_at);
    from.resize(gathered_at);
    return text;
}

void OrderedCopy::write_peaks(std::string_view plain_tag, std::string_view kept_tag,
                              Settled settled) {
    if (inline_only) {
        scratch.clear();
        const bool inflated = inflater.append_plain_text(gathered, scratch);
        out.write(inflated ? plain_tag : kept_tag);
        out.write(inflated ? scratch : gathered);
        return settled(inflated);
    }
    Batch& batch = *open;
    batch.tags.append(plain_tag);
    batch.tags.append(kept_tag);
    batch.texts.push_back(PeakText{plain_tag.size(), kept_tag.size(),
                                   batch.compressed.size() - gathered_at, 0, false,
                                   std::move(settled)});
    pieces.push_back(Piece{{}, nullptr, &batch});
    if (batch.compressed.size() >= BATCH_BYTES || batch.texts.size() >= BATCH_TEXTS) {
        queue_open();
        if (batches.size() > batches_limit)
            drain(batches_limit / 2, WAITING_BYTES);
    }
}

OrderedCopy::Batch& OrderedCopy::new_batch() {
    if (spare.empty()) {
        batches.push_back(std::make_unique<Batch>());
    } else {
        batches.push_back(std::move(spare.back()));
        spare.pop_back();
    }
    open = batches.back().get();
    return *open;
}

void OrderedCopy::queue_open() {
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        queue.push_back(open);
        wake = idle_workers > 0;
    }
    open = nullptr;
    if (wake)
        queued.notify_one();
}

void OrderedCopy::await(Batch& batch) {
    if (&batch == open)
        queue_open();
    std::unique_lock<std::mutex> guard(lock);
    while (!batch.done) {
        // The front of the queue is the batch awaited or one after it:
        // inflated here, the caller's thread works rather than sleeps.
        if (!queue.empty()) {
            inflate_front(guard, inflater);
            continue;
        }
        awaited = &batch;
        finished.wait(guard, [&] { return batch.done; });
        awaited = nullptr;
    }
}

void OrderedCopy::finish(Batch& batch) {
    PeakText& text = batch.texts[batch.written];
    const std::string_view tags = std::string_view(batch.tags).substr(batch.tags_at);
    if (text.inflated) {
        out.write(tags.substr(0, text.plain_tag));
        out.write(std::string_view(batch.plain).substr(batch.plain_at, text.plain));
    } else {
        out.write(tags.substr(text.plain_tag, text.kept_tag));
        out.write(std::string_view(batch.compressed).substr(batch.compressed_at, text.compressed));
    }
    batch.tags_at += text.plain_tag + text.kept_tag;
    batch.compressed_at += text.compressed;
    batch.plain_at += text.plain;
    text.settled(text.inflated);
    if (++batch.written < batch.texts.size())
        return;
    // Batches are written in file order: this one is the first. Its
    // buffers keep their room for the batch after.
    auto whole = std::move(batches.front());
    batches.pop_front();
    whole->tags.clear();
    whole->compressed.clear();
    whole->plain.clear();
    whole->texts.clear();
    whole->tags_at = whole->compressed_at = whole->plain_at = whole->written = 0;
    whole->done = whole->seen_done = false;
    spare.push_back(std::move(whole));
}

void OrderedCopy::write_front() {
    Piece& piece = pieces.front();
    if (piece.batch) {
        if (!piece.batch->seen_done) {
            await(*piece.batch);
            piece.batch->seen_done = true;
        }
        finish(*piece.batch);
    } else if (piece.position_into) {
        piece.position_into->push_back(out.position());
    } else {
        out.write(piece.bytes);
        waiting_bytes -= piece.bytes.size();
    }
    pieces.pop_front();
}

void OrderedCopy::drain(std::size_t batches_kept, std::size_t bytes_kept) {
    while (!pieces.empty() && (batches.size() > batches_kept || waiting_bytes > bytes_kept))
        write_front();
    // A position at the front has nothing left to wait for.
    while (!pieces.empty() && pieces.front().position_into)
        write_front();
}

CopyWriter& OrderedCopy::settle() {
    while (!pieces.empty())
        write_front();
    return out;
}

} // namespace orvohost::repair
