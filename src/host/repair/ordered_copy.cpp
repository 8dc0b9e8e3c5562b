#include "ordered_copy.h"

namespace orvohost::repair {

namespace {

// Bytes that may wait behind a peak text still inflating: enough for the
// threads to stay busy, few enough to stay out of the way of memory.
constexpr std::size_t WAITING_BYTES = std::size_t{16} << 20;

} // namespace

OrderedCopy::OrderedCopy(CopyWriter& copy, unsigned threads) : out(copy) {
    if (threads <= 1)
        return;
    jobs_limit = std::size_t{8} * threads;
    for (unsigned i = 0; i < threads; ++i)
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

void OrderedCopy::work() {
    PeakInflater own;
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        queued.wait(guard, [&] { return stopping || !queue.empty(); });
        if (stopping)
            return;
        const std::shared_ptr<Job> job = std::move(queue.front());
        queue.pop_front();
        guard.unlock();
        std::optional<std::string> plain = own.plain_text(job->compressed);
        guard.lock();
        job->plain = std::move(plain);
        job->done = true;
        // Only the job the writer waits for wakes it: others finishing
        // ahead of it would wake it for nothing.
        if (job.get() == awaited)
            finished.notify_one();
    }
}

void OrderedCopy::write(std::string_view bytes) {
    if (pieces.empty())
        return out.write(bytes);
    if (pieces.back().job || pieces.back().position_into)
        pieces.emplace_back();
    pieces.back().bytes.append(bytes);
    waiting_bytes += bytes.size();
    if (waiting_bytes > WAITING_BYTES)
        drain(jobs_limit, WAITING_BYTES / 2);
}

void OrderedCopy::append_position(std::vector<std::uint64_t>& into) {
    if (pieces.empty())
        return into.push_back(out.position());
    pieces.push_back(Piece{{}, &into, {}});
}

void OrderedCopy::write_peaks(std::string plain_tag, std::string kept_tag, std::string compressed,
                              Settled settled) {
    auto job =
        std::make_shared<Job>(Job{std::move(plain_tag), std::move(kept_tag), std::move(compressed),
                                  std::nullopt, false, std::move(settled)});
    if (workers.empty()) {
        job->plain = inflater.plain_text(job->compressed);
        job->done = true;
        return finish(*job);
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        queue.push_back(job);
    }
    queued.notify_one();
    pieces.push_back(Piece{{}, nullptr, std::move(job)});
    if (++waiting_jobs > jobs_limit)
        drain(jobs_limit / 2, WAITING_BYTES);
}

void OrderedCopy::finish(Job& job) {
    if (job.plain) {
        out.write(job.plain_tag);
        out.write(*job.plain);
    } else {
        out.write(job.kept_tag);
        out.write(job.compressed);
    }
    job.settled(job.plain.has_value());
}

void OrderedCopy::write_front() {
    Piece& piece = pieces.front();
    if (piece.job) {
        {
            std::unique_lock<std::mutex> guard(lock);
            awaited = piece.job.get();
            finished.wait(guard, [&] { return piece.job->done; });
            awaited = nullptr;
        }
        finish(*piece.job);
        --waiting_jobs;
    } else if (piece.position_into) {
        piece.position_into->push_back(out.position());
    } else {
        out.write(piece.bytes);
        waiting_bytes -= piece.bytes.size();
    }
    pieces.pop_front();
}

void OrderedCopy::drain(std::size_t jobs_kept, std::size_t bytes_kept) {
    while (!pieces.empty() && (waiting_jobs > jobs_kept || waiting_bytes > bytes_kept))
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
