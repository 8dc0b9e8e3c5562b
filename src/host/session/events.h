// The host's side of events: a socket shared with the plug-in whose
// listener hands every event to a function of the host.
#pragma once

#include <pal/atomic.h>
#include <pal/event.h>

#include <functional>

namespace orvohost {

using EventHandler = std::function<void(const PAL::Event&)>;

class EventChannel : private PAL::EventListener {
public:
    explicit EventChannel(EventHandler handler);
    // Stops delivery first: the plug-in may still hold the socket.
    ~EventChannel() override;
    EventChannel(const EventChannel&) = delete;
    EventChannel& operator=(const EventChannel&) = delete;

    const PAL::SmartPtr<PAL::EventSocket>& socket() const { return shared_socket; }

private:
    bool handle_event(PAL::SmartPtr<PAL::Event>& event) override;

    EventHandler handler;
    PAL::SmartPtr<PAL::EventSocket> shared_socket;
};

} // namespace orvohost
