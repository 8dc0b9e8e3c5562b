// Progress trees: nodes that turn steps into integer percentages and hand
// them up to a root, which posts them to the host as ProgressEvents.
//
// A node made with a parent registers as its child; the live children of a
// node together stand for the node's current step. The host's nodes and the
// plug-in's nodes form one tree and run this same code on each other, so the
// fields, their order and the behaviour are one contract with the host.
// Locks are taken child first, then parent, up to the root.
#pragma once

#include <pal/api.h>
#include <pal/atomic.h>
#include <pal/event.h>
#include <pal/message.h>
#include <pal/mutex.h>

#include <cstdint>
#include <map>
#include <vector>

namespace PAL {

class PAL_API ProgressEvent : public Event {
public:
    // The header's second word carries the posting node's child id.
    ProgressEvent(std::uint32_t child_id, std::uint16_t done, bool last, const Message& text)
        : Event(PROGRESS_EVENT, child_id), percentage(done), final(last), message(text) {}
    ~ProgressEvent() override;

    std::uint16_t percentage; // 0 to 100, or UNDETERMINED
    bool final;               // the root's last event
    Message message;
};

class PAL_API Progress {
public:
    static constexpr std::uint16_t UNDETERMINED = 0xFFFF;

    struct ChildEntry {
        std::uint32_t steps;
        double weight;
        double fraction;
    };

    // A node under `parent` (which may be empty). A node that ends up without
    // a parent is disabled: it ignores steps and never reports.
    Progress(const SmartPtr<Progress>& parent, std::uint32_t steps, std::int16_t step_perc);

    // A root node: enabled, posting its ProgressEvents through `socket`, each
    // with a copy of `message`.
    Progress(const SmartPtr<EventSocket>& socket, const Message& message, unsigned int steps,
             short step_perc);

    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void step(std::uint32_t count);

    // The steps from here to the one that reports next. Those before it
    // change nothing a listener or a parent sees, so a caller stepping one
    // at a time may gather them and step once; at most UINT32_MAX when no
    // step ever reports (a disabled node).
    std::uint32_t steps_to_report();

    // Called by child nodes on their parent.
    std::uint32_t add_child(std::uint32_t steps);
    void remove_child(std::uint32_t child_id);
    void child_progress(std::uint32_t child_id, std::int16_t percentage);
    void count_indeterminate(bool up);

    // Fields, in the order shared with the host.
    CriticalSection lock;
    std::uint32_t child_id;
    std::uint32_t steps;
    std::uint32_t step_size;
    std::uint32_t steps_done;
    std::uint32_t next_report;
    std::uint16_t last_percentage;
    bool final;
    bool posts_events;
    bool enabled;
    Message message;
    std::uint32_t indeterminate;
    double child_share;
    double finished_steps;
    double finished_fraction;
    SmartPtr<EventSocket> socket;
    SmartPtr<Progress> parent;
    std::map<std::uint32_t, ChildEntry> children;
    std::vector<std::uint32_t> free_ids;

private:
    std::uint16_t percentage() const;
    void set_step_perc(std::int16_t step_perc);
    void update_next_report();
    void recompute_weights();
    void report(bool force);
    void reset_child_share();
};

} // namespace PAL
