#include "events.h"

namespace orvohost {

EventChannel::EventChannel(EventHandler on_event)
    : handler(std::move(on_event)), shared_socket(new PAL::EventSocket(this)) {}

EventChannel::~EventChannel() {
    shared_socket->set_listener(nullptr);
}

bool EventChannel::handle_event(PAL::SmartPtr<PAL::Event>& event) {
    if (handler && event)
        handler(*event);
    return true;
}

} // namespace orvohost
