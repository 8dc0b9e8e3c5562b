#include "support/recording_listener.h"

namespace fixture {

bool RecordingListener::handle_event(PAL::SmartPtr<PAL::Event>& event) {
    RecordedEvent r;
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
    events.push_back(std::move(r));
    return true;
}

std::vector<RecordedEvent> RecordingListener::with_id(std::uint32_t id) const {
    std::vector<RecordedEvent> out;
    for (const auto& e : events)
        if (e.kind == PAL::Event::MSG_EVENT && e.id == id)
            out.push_back(e);
    return out;
}

std::vector<std::uint32_t> RecordingListener::ids() const {
    std::vector<std::uint32_t> out;
    for (const auto& e : events)
        if (e.kind == PAL::Event::MSG_EVENT)
            out.push_back(e.id);
    return out;
}

std::vector<std::uint16_t> RecordingListener::percentages() const {
    std::vector<std::uint16_t> out;
    for (const auto& e : events)
        if (e.kind == PAL::Event::PROGRESS_EVENT)
            out.push_back(e.percentage);
    return out;
}

RecordingSocket::RecordingSocket() : socket(new PAL::EventSocket(&listener)) {}

} // namespace fixture
