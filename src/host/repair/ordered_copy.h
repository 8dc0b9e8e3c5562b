// The copy's bytes in file order while compressed peak texts inflate on
// other threads. Inflating is most of the work of repairing an mzXML 3.x
// file, and each peak text inflates on its own; what follows a peak text
// waits here, in order, until the text before it is done. Positions asked
// for (a scan's offset, for the index) are taken when their bytes reach
// the writer. With one thread everything happens in the caller's, at once.
#pragma once

#include "copy_writer.h"
#include "peak_text.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace orvohost::repair {

class OrderedCopy {
public:
    // Called in file order with whether the peak text inflated.
    using Settled = std::function<void(bool inflated)>;

    OrderedCopy(CopyWriter& out, unsigned threads);
    ~OrderedCopy();
    OrderedCopy(const OrderedCopy&) = delete;
    OrderedCopy& operator=(const OrderedCopy&) = delete;

    void write(std::string_view bytes);
    // Appends the copy's offset at this point to `into`.
    void append_position(std::vector<std::uint64_t>& into);
    // A zlib peak text: `plain_tag` and the inflated text when it inflates,
    // `kept_tag` and `compressed` as they were when it does not.
    void write_peaks(std::string plain_tag, std::string kept_tag, std::string compressed,
                     Settled settled);
    // Writes everything still waiting; the writer's position and digest are
    // then those of every byte given.
    CopyWriter& settle();

private:
    struct Job {
        std::string plain_tag;
        std::string kept_tag;
        std::string compressed;
        std::optional<std::string> plain;
        bool done = false;
        Settled settled;
    };
    struct Piece {
        std::string bytes;
        std::vector<std::uint64_t>* position_into = nullptr;
        std::shared_ptr<Job> job;
    };

    void finish(Job& job);
    // Writes the first waiting piece, once it is ready.
    void write_front();
    // Writes waiting pieces from the front until at most `jobs_kept` jobs and
    // `bytes_kept` bytes wait.
    void drain(std::size_t jobs_kept, std::size_t bytes_kept);
    void work();

    CopyWriter& out;
    PeakInflater inflater; // for the caller's thread
    std::deque<Piece> pieces;
    std::size_t waiting_jobs = 0;
    std::size_t waiting_bytes = 0;
    std::size_t jobs_limit = 0;

    std::mutex lock;
    std::condition_variable queued;
    std::condition_variable finished;
    std::deque<std::shared_ptr<Job>> queue;
    const Job* awaited = nullptr; // the job the writer waits for
    bool stopping = false;
    std::vector<std::thread> workers;
};

} // namespace orvohost::repair
