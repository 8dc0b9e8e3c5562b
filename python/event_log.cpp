#include "event_log.h"

namespace orvopy {

void EventLog::add(std::uint32_t level, const PAL::Message& message) {
    // Once full, the lock is not taken: most events of a large read land here.
    if (full()) {
        missed.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const std::lock_guard<std::mutex> hold(lock);
    if (entries.size() >= limit) {
        filled.store(true, std::memory_order_relaxed);
        missed.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    entries.push_back(Entry{level, message.id, ends.size(), message.args.size()});
    for (const std::wstring& argument : message.args) {
        texts += argument;
        ends.push_back(texts.size());
    }
}

std::vector<LoggedEvent> EventLog::events() const {
    const std::lock_guard<std::mutex> hold(lock);
    std::vector<LoggedEvent> out;
    out.reserve(entries.size());
    for (const Entry& entry : entries) {
        LoggedEvent& event = out.emplace_back(LoggedEvent{entry.level, PAL::Message(entry.id)});
        for (std::size_t i = entry.first_argument; i < entry.first_argument + entry.argument_count;
             ++i) {
            const std::size_t start = i == 0 ? 0 : ends[i - 1];
            event.message.args.push_back(texts.substr(start, ends[i] - start));
        }
    }
    return out;
}

} // namespace orvopy
