// A listener that records every event it is handed, for tests.
#pragma once

#include <pal/event.h>
#include <pal/progress.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

struct RecordedEvent {
    std::uint32_t kind = 0;
    std::uint32_t level = 0; // MsgEvent level, or ProgressEvent child id
    std::uint32_t id = 0;    // message identifier
    std::vector<std::wstring> args;
    std::uint16_t percentage = 0; // ProgressEvent only
    bool final = false;           // ProgressEvent only
};

class RecordingListener : public PAL::EventListener {
public:
    bool handle_event(PAL::SmartPtr<PAL::Event>& event) override; // always true

    // Message events with identifier `id`, in the order posted.
    std::vector<RecordedEvent> with_id(std::uint32_t id) const;
    std::size_t count(std::uint32_t id) const { return with_id(id).size(); }
    // Identifiers of all message events, in order.
    std::vector<std::uint32_t> ids() const;
    // Percentages of all progress events, in order.
    std::vector<std::uint16_t> percentages() const;

    std::vector<RecordedEvent> events;
};

// A socket with a fresh recording listener; keeps both alive together.
struct RecordingSocket {
    RecordingSocket();
    RecordingListener listener;
    PAL::SmartPtr<PAL::EventSocket> socket;
};

} // namespace fixture
