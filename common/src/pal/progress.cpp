#include <pal/exception.h>
#include <pal/progress.h>

#include <algorithm>
#include <limits>

namespace {
constexpr const char* source_file = "progress";
} // namespace

namespace PAL {

ProgressEvent::~ProgressEvent() = default;

Progress::Progress(const SmartPtr<Progress>& parent_node, std::uint32_t step_count,
                   std::int16_t step_perc)
    : child_id(0), steps(step_count), step_size(1), steps_done(0), next_report(0),
      last_percentage(0), final(false), posts_events(false), enabled(true), indeterminate(0),
      child_share(0.0), finished_steps(0.0), finished_fraction(0.0), parent(parent_node) {
    set_step_perc(step_perc);
    if (parent) {
        child_id = parent->add_child(steps);
        if (child_id == 0)
            parent.reset();
    }
    if (!parent)
        enabled = false;
}

Progress::Progress(const SmartPtr<EventSocket>& event_socket, const Message& root_message,
                   unsigned int step_count, short step_perc)
    : child_id(0), steps(step_count), step_size(1), steps_done(0), next_report(0),
      last_percentage(0), final(false), posts_events(true), enabled(true), message(root_message),
      indeterminate(0), child_share(0.0), finished_steps(0.0), finished_fraction(0.0),
      socket(event_socket) {
    set_step_perc(step_perc);
}

Progress::~Progress() {
    // A destructor cannot pass a failure on (a listener that raises, say);
    // the node goes regardless.
    try {
        if (posts_events) {
            final = true;
            report(true);
        } else if (parent) {
            parent->remove_child(child_id);
        }
    } catch (...) {
    }
}

void Progress::step(std::uint32_t count) {
    ScopedLock guard(lock);
    PAL_ASSERT(children.empty(), L"not a leaf node");
    if (!enabled || steps == 0)
        return;
    steps_done += std::min(count, steps - steps_done);
    if (steps_done < next_report)
        return;
    if (finished_steps > 0.0)
        reset_child_share();
    update_next_report();
    report(false);
}

std::uint32_t Progress::steps_to_report() {
    ScopedLock guard(lock);
    if (!enabled || steps == 0)
        return std::numeric_limits<std::uint32_t>::max();
    // A node at or past its report point reports at every step.
    return next_report > steps_done ? next_report - steps_done : 1;
}

std::uint32_t Progress::add_child(std::uint32_t child_steps) {
    ScopedLock guard(lock);
    // A node of more than 100 steps already moves by less than a percent a
    // step; children could not show.
    if (steps > 100 || !enabled)
        return 0;
    std::uint32_t id;
    if (!free_ids.empty()) {
        id = free_ids.back();
        free_ids.pop_back();
    } else {
        PAL_ASSERT(children.size() < std::numeric_limits<std::uint32_t>::max(),
                   L"child id's exhausted");
        id = static_cast<std::uint32_t>(children.size()) + 1;
    }
    children.emplace(id, ChildEntry{child_steps, 0.0, 0.0});
    if (child_steps == 0) {
        if (indeterminate == 0 && parent)
            parent->count_indeterminate(true);
        ++indeterminate;
    }
    recompute_weights();
    return id;
}

void Progress::remove_child(std::uint32_t id) {
    ScopedLock guard(lock);
    auto entry = children.find(id);
    if (entry == children.end())
        return;
    const ChildEntry& child = entry->second;
    if (child.steps == 0) {
        --indeterminate;
        if (indeterminate == 0 && parent)
            parent->count_indeterminate(false);
    } else {
        const double s = static_cast<double>(child.steps);
        const double total = s + finished_steps;
        finished_fraction =
            (1.0 / total) * s * child.fraction + (1.0 / total) * finished_steps * finished_fraction;
        finished_steps = total;
    }
    children.erase(entry);
    free_ids.push_back(id);
    recompute_weights();
}

void Progress::child_progress(std::uint32_t id, std::int16_t child_percentage) {
    ScopedLock guard(lock);
    auto entry = children.find(id);
    PAL_ASSERT(entry != children.end(), L"child_id unknown");
    // A negative percentage is an undetermined child: nothing to weigh in.
    if (child_percentage >= 0) {
        ChildEntry& child = entry->second;
        const double f = child_percentage * 0.01;
        child_share += (f - child.fraction) * child.weight;
        child.fraction = f;
    }
    report(false);
}

void Progress::count_indeterminate(bool up) {
    ScopedLock guard(lock);
    if (up)
        ++indeterminate;
    else
        --indeterminate;
    if (parent)
        parent->count_indeterminate(up);
}

std::uint16_t Progress::percentage() const {
    if (steps == 0 || indeterminate != 0)
        return UNDETERMINED;
    if (steps_done >= steps)
        return 100;
    const double p = (steps_done + child_share) / steps * 100.0;
    if (p > 100.0)
        return 100;
    if (p < 0.0)
        return 0;
    return static_cast<std::uint16_t>(p);
}

void Progress::set_step_perc(std::int16_t step_perc) {
    PAL_ASSERT(step_perc >= 1 && step_perc <= 100, L"step_perc is out of range");
    step_size = static_cast<std::uint32_t>(step_perc * 0.01 * static_cast<double>(steps));
    if (step_size == 0)
        step_size = 1;
    update_next_report();
}

void Progress::update_next_report() {
    const std::uint32_t s = step_size;
    const std::uint32_t d = steps_done;
    if (steps - d < s)
        next_report = steps;
    else if (s == 1)
        next_report = d + 1;
    else
        next_report = d - (d % s) + s;
}

void Progress::recompute_weights() {
    double sum = finished_steps;
    for (const auto& [id, child] : children)
        sum += static_cast<double>(child.steps);
    if (sum == 0.0) {
        child_share = 0.0;
        report(false);
        return;
    }
    const double inv = 1.0 / sum;
    child_share = finished_fraction * finished_steps * inv;
    for (auto& [id, child] : children) {
        if (child.steps == 0)
            continue;
        child.weight = child.steps * inv;
        child_share += child.weight * child.fraction;
    }
    report(false);
}

void Progress::report(bool force) {
    if (!enabled)
        return;
    const std::uint16_t p = percentage();
    if (p == last_percentage && !force)
        return;
    last_percentage = p;
    if (posts_events) {
        if (!socket)
            return;
        SmartPtr<Event> event(new ProgressEvent(child_id, last_percentage, final, message));
        socket->post(event);
    } else if (parent) {
        parent->child_progress(child_id, static_cast<std::int16_t>(p));
    }
}

void Progress::reset_child_share() {
    child_share = 0.0;
    finished_steps = 0.0;
    finished_fraction = 0.0;
}

} // namespace PAL
