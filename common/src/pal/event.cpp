#include <pal/event.h>

namespace PAL {

Event::~Event() = default;
MsgEvent::~MsgEvent() = default;
EventListener::~EventListener() = default;

EventSocket::EventSocket(EventListener* receiver) : host_word(nullptr), listener(receiver) {}

EventSocket::~EventSocket() = default;

bool EventSocket::post(SmartPtr<Event>& event) {
    if (!event.get())
        return false;
    ScopedLock guard(lock);
    if (!listener)
        return false;
    return listener->handle_event(event);
}

void EventSocket::set_listener(EventListener* new_listener) {
    ScopedLock guard(lock);
    listener = new_listener;
}

// The event is owned as the Event it is posted as: a SmartPtr<MsgEvent>
// converted to one would take and drop one more reference, each under the
// record's lock, for every notice. Its virtual destructor frees it whole.
void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level,
                  const Message& message) {
    if (!socket)
        return;
    SmartPtr<Event> event(new MsgEvent(level, message));
    socket->post(event);
}

void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level, Message&& message) {
    if (!socket)
        return;
    SmartPtr<Event> event(new MsgEvent(level, std::move(message)));
    socket->post(event);
}

} // namespace PAL
