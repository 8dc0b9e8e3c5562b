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
    bool handle_event(PAL::SmartPtr<PAL::Event>& event) override {
        RecordedEvent& r = events.emplace_back();
        r.kind = event->kind;
        r.level = event->level;
        if (auto* m = dynamic_cast<PAL::MsgEvent*>(event.get())) {
            r.id = m->message.id;
            r.args = m->message.args;
        } else if (auto* p = dynamic_cast<PAL::ProgressEvent*>(event.get())) {
            r.id = p->message.id;
            r.args = p->message.args;
            r.percentage = p->percentage;
            r.final = p->final;
        }
        return true;
    }

    // Message events with identifier `id`, in the order posted.
    std::vector<RecordedEvent> with_id(std::uint32_t id) const {
        std::vector<RecordedEvent> out;
        for (const auto& e : events)
            if (e.kind == PAL::Event::MSG_EVENT && e.id == id)
                out.push_back(e);
        return out;
    }
    std::size_t count(std::uint32_t id) const { return with_id(id).size(); }
    // Identifiers of all message events, in order.
    std::vector<std::uint32_t> ids() const {
        std::vector<std::uint32_t> out;
        for (const auto& e : events)
            if (e.kind == PAL::Event::MSG_EVENT)
                out.push_back(e.id);
        return out;
    }
    // Percentages of all progress events, in order.
    std::vector<std::uint16_t> percentages() const {
        std::vector<std::uint16_t> out;
        for (const auto& e : events)
            if (e.kind == PAL::Event::PROGRESS_EVENT)
                out.push_back(e.percentage);
        return out;
    }

    std::vector<RecordedEvent> events;
};

// A socket with a fresh recording listener; keeps both alive together.
struct RecordingSocket {
    RecordingListener listener;
    PAL::SmartPtr<PAL::EventSocket> socket{new PAL::EventSocket(&listener)};
};

} // namespace fixture
