#include <pal/event.h>
#include <pal/exception.h>

#include <charconv>
#include <iterator>
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

constexpr const char* source_file = "event";

// A message event and its use-count record in one allocation: every
// notice costs one allocation less than an event and a record made apart.
using MsgEventRecord = detail::SharedCountWith<MsgEvent>;

// The event is owned as the Event it is posted as: a SmartPtr<MsgEvent>
// converted to one would take and drop one more reference, each under the
// record's lock, for every notice.
template <class Text>
void post(const SmartPtr<EventSocket>& socket, std::uint32_t level, Text&& message) {
    if (!socket)
        return;
    auto* record = new MsgEventRecord(level, std::forward<Text>(message));
    SmartPtr<Event> event(record->get(), record);
    socket->post(event);
}

// The record of the last number notice posted on the thread that no one
// else held after its post, for the next one. A plain pointer, so that a
// post reaches it without a check that it was made; its owner, made with
// the first record a thread makes, releases it with the thread.
thread_local MsgEventRecord* spare = nullptr;

struct SpareOwner {
    SpareOwner() = default;
    SpareOwner(const SpareOwner&) = delete;
    SpareOwner& operator=(const SpareOwner&) = delete;
    ~SpareOwner() {
        if (spare)
            std::exchange(spare, nullptr)->release();
    }
};

MsgEventRecord* new_record(std::uint32_t level, std::uint32_t id) {
    thread_local SpareOwner owner;
    return new MsgEventRecord(level, Message(id));
}

// `value` in decimal, as Message::add writes it, into `text`'s own room.
void write_decimal(std::wstring& text, std::int64_t value) {
    char digits[24];
    const char* const end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    const auto length = static_cast<std::size_t>(end - digits);
    // Widened in place: a notice's text mostly keeps its length from one
    // post to the next, and then the resize is only a length set, where an
    // assign would be a call to copy a few characters.
    text.resize(length);
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<wchar_t>(digits[i]);
}

} // namespace

void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level,
                  const Message& message) {
    post(socket, level, message);
}

void post_message(const SmartPtr<EventSocket>& socket, std::uint32_t level, Message&& message) {
    post(socket, level, std::move(message));
}

void post_numbers(const SmartPtr<EventSocket>& socket, std::uint32_t level, std::uint32_t id,
                  std::initializer_list<std::int64_t> numbers) {
    if (!socket)
        return;
    PAL_ASSERT(id != 0, L"msg_id is 0");
    // Taken out while in use: a listener that posts in turn makes its own.
    MsgEventRecord* record = std::exchange(spare, nullptr);
    if (!record)
        record = new_record(level, id);
    MsgEvent& event = *record->get();
    try {
        // Every field a listener could have changed is set again.
        event.kind = Event::MSG_EVENT;
        event.level = level;
        event.message.id = id;
        std::vector<std::wstring>& args = event.message.args;
        args.resize(numbers.size());
        auto arg = args.begin();
        for (const std::int64_t number : numbers)
            write_decimal(*arg++, number);
    } catch (...) {
        record->release();
        throw;
    }
    // The posted pointer is ended by hand: when the record comes back with
    // no other holder, its reference passes to the spare instead.
    alignas(SmartPtr<Event>) unsigned char room[sizeof(SmartPtr<Event>)];
    auto* posted = ::new (static_cast<void*>(room)) SmartPtr<Event>(&event, record);
    try {
        socket->post(*posted);
    } catch (...) {
        posted->~SmartPtr();
        throw;
    }
    // A listener may have pointed the pointer elsewhere; the record is then
    // not looked at, as it may be gone.
    bool alone = false;
    if (posted->pn == record) {
        ScopedLock guard(record->lock);
        alone = record->use_count == 1 && record->weak_count == 1;
    }
    if (alone && !spare)
        spare = record;
    else
        posted->~SmartPtr();
}

} // namespace PAL
