#include <pal/event.h>

#include <new>
#include <utility>

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

namespace {

// A message event and its use-count record in one allocation: the record
// ends the event in place when its use count reaches 0 and frees both at
// its weak count's, as any record does. Every notice costs one allocation
// less than an event and a record made apart.
class MsgEventRecord final : public SharedCount {
public:
    template <class Text>
    MsgEventRecord(std::uint32_t level, Text&& text) {
        ::new (static_cast<void*>(storage)) MsgEvent(level, std::forward<Text>(text));
    }
    MsgEvent* event() { return std::launder(reinterpret_cast<MsgEvent*>(storage)); }
    void dispose() override { event()->~MsgEvent(); }

private:
    alignas(MsgEvent) unsigned char storage[sizeof(MsgEvent)];
};

// The event is owned as the Event it is posted as: a SmartPtr<MsgEvent>
// converted to one would take and drop one more reference, each under the
// record's lock, for every notice.
template <class Text>
void post(const SmartPtr<EventSocket>& socket, std::uint32_t level, Text&& message) {
    if (!socket)
        return;
    auto* record = new MsgEventRecord(level, std::forward<Text>(message));
    SmartPtr<Event> event(record->event(), record);
    socket->post(event);
}

} // namespace

void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level,
                  const Message& message) {
    post(socket, level, message);
}

void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level, Message&& message) {
    post(socket, level, std::move(message));
}

} // namespace PAL
