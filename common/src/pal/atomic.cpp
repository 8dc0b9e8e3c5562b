#include <pal/atomic.h>

namespace {
constexpr const char* source_file = "atomic";
}

namespace PAL {

SharedCount::~SharedCount() = default;

void SharedCount::dispose() {}

void SharedCount::destroy() {
    delete this;
}

void SharedCount::add_ref() {
    ScopedLock guard(lock);
    if (use_count == 0 && weak_count != 0)
        PAL_RAISE(UseCountIsZero);
    ++use_count;
    ++weak_count;
}

void SharedCount::release() {
    std::int32_t uses = 0;
    std::int32_t weaks = 0;
    {
        ScopedLock guard(lock);
        uses = --use_count;
        weaks = --weak_count;
    }
    // Decided under the lock, done outside it: exactly one thread gets here
    // with zero.
    if (uses == 0)
        dispose();
    if (weaks == 0)
        destroy();
}

} // namespace PAL
