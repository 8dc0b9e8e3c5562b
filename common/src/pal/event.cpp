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

void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level,
                  const Message& message) {
    if (!socket)
        return;
    SmartPtr<MsgEvent> created(new MsgEvent(level, message));
    SmartPtr<Event> event(created);
    socket->post(event);
}

void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level, Message&& message) {
    if (!socket)
        return;
    SmartPtr<MsgEvent> created(new MsgEvent(level, std::move(message)));
    SmartPtr<Event> event(created);
    socket->post(event);
}

} // namespace PAL
