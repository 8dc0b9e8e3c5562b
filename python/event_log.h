// The events a Run keeps, in a compact form: a listing posts a notice for
// every scan and every spectrum, and keeping each as a Message of its own
// would cost several small allocations an event, in the middle of the read.
// Here the arguments of every event kept share one wide text.
//
// Events may arrive while another thread reads the log, so it locks itself.
#pragma once

#include <pal/message.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace orvopy {

struct LoggedEvent {
    std::uint32_t level;
    PAL::Message message;
};

class EventLog {
public:
    explicit EventLog(std::size_t most) : limit(most) {}

    // Keeps the event while fewer than `limit` are kept, else counts it.
    void add(std::uint32_t level, const PAL::Message& message);

    std::vector<LoggedEvent> events() const;
    std::size_t dropped() const { return missed.load(std::memory_order_relaxed); }
    // True once an event found no room.
    bool full() const { return filled.load(std::memory_order_relaxed); }

private:
    struct Entry {
        std::uint32_t level;
        std::uint32_t id;
        std::size_t first_argument; // in `ends`
        std::size_t argument_count;
    };

    const std::size_t limit;
    mutable std::mutex lock;
    std::vector<Entry> entries;
    std::vector<std::size_t> ends; // of each argument, in `texts`
    std::wstring texts;
    std::atomic<bool> filled{false};
    std::atomic<std::size_t> missed{0};
};

} // namespace orvopy
