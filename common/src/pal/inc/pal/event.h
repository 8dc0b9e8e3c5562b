// Events and the event socket.
//
// Notices that must reach the host without stopping the work (a refused
// interface version, a malformed part of a file, progress) are events: heap
// objects held by PAL::SmartPtr and posted through the host's EventSocket,
// which hands them, one at a time under its lock, to the host's listener.
// Host and plug-ins read the same objects, so their layouts are fixed.
#pragma once

#include <pal/api.h>
#include <pal/atomic.h>
#include <pal/message.h>
#include <pal/mutex.h>

#include <cstdint>
#include <initializer_list>
#include <utility>

namespace PAL {

class PAL_API Event {
public:
    enum Kind : std::uint32_t { MSG_EVENT = 1, PROGRESS_EVENT = 2 };

    virtual ~Event();

    std::uint32_t kind;
    // A MsgEvent's message level; a ProgressEvent's posting node's child id.
    std::uint32_t level;

protected:
    Event(std::uint32_t event_kind, std::uint32_t event_level)
        : kind(event_kind), level(event_level) {}
};

class PAL_API MsgEvent : public Event {
public:
    MsgEvent(std::uint32_t message_level, const Message& text)
        : Event(MSG_EVENT, message_level), message(text) {}
    MsgEvent(std::uint32_t message_level, Message&& text)
        : Event(MSG_EVENT, message_level), message(std::move(text)) {}
    ~MsgEvent() override;

    Message message;
};

// The host's receiver of events. handle_event is its second virtual
// operation, after the destructor; it runs under the socket's lock.
class PAL_API EventListener {
public:
    virtual ~EventListener();
    virtual bool handle_event(SmartPtr<Event>& event) = 0;
};

class PAL_API EventSocket {
public:
    explicit EventSocket(EventListener* listener = nullptr);
    ~EventSocket();
    EventSocket(const EventSocket&) = delete;
    EventSocket& operator=(const EventSocket&) = delete;

    // True when a listener took the event and said true. An empty pointer
    // answers false without taking the lock. A listener's exception leaves
    // the lock free and passes to the poster.
    bool post(SmartPtr<Event>& event);

    // Changes the listener under the socket's lock; null stops delivery.
    void set_listener(EventListener* listener);

    void* host_word; // the host's own; the plug-in never touches it
    CriticalSection lock;
    EventListener* listener;
};

// The posting recipe of every site: nothing is built when there is no socket;
// the result of the post is ignored.
PAL_API void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level,
                          const Message& message);
// The same for a message built in the call: its arguments move into the
// event instead of being copied.
PAL_API void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level,
                          Message&& message);

// The same for a message whose arguments are all integers in decimal, as
// Message::add writes them by default: the very event post_message posts
// for that message, built without one. Such notices come one a scan, so the
// event of the last one posted on the thread is kept, when no one else
// holds it, and filled anew: its texts keep their room, and a post in a
// loop allocates nothing. Raises AssertFailure for identifier 0.
PAL_API void post_numbers(const SmartPtr<EventSocket>& socket, std::uint32_t level,
                          std::uint32_t id, std::initializer_list<std::int64_t> numbers);

} // namespace PAL
