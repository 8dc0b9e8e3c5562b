#include "events.h"

namespace orvohost {

EventChannel::EventChannel(EventHandler handler)
    : handler(std::move(handler)), shared_socket(new PAL::EventSocket(this)) {}

EventChannel::~EventChannel() {
    shared_socket->set_listener(nullptr);
}

bool EventChannel::handle_event(PAL::SmartPtr<PAL::Event>& event) {
    if (handler && event)
        handler(*event);
    return true;
}

} // namespace orvohost
