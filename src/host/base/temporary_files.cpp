#include "temporary_files.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace orvohost {

namespace {

// A signal handler may not allocate or lock, so the paths stand in a table
// of fixed slots, each claimed by an atomic flag before its text is written
// and published after.
constexpr std::size_t SLOTS = 64;
constexpr std::size_t PATH_BYTES = 4096;

struct Slot {
    std::atomic<int> state{0}; // 0 free, 1 being written, 2 in use
    char path[PATH_BYTES];
};

std::array<Slot, SLOTS>& slots() {
    static std::array<Slot, SLOTS> table;
    return table;
}

void remove_all() {
    for (Slot& slot : slots())
        if (slot.state.load() == 2)
            std::remove(slot.path);
}

extern "C" void on_stop_signal(int signal) {
    remove_all();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::once_flag at_exit_set;

} // namespace

bool track_temporary(const std::filesystem::path& path) {
    std::call_once(at_exit_set, [] { std::atexit(remove_all); });
    const std::string text = path.string();
    if (text.size() >= PATH_BYTES)
        return false;
    for (Slot& slot : slots()) {
        int free = 0;
        if (!slot.state.compare_exchange_strong(free, 1))
            continue;
        std::memcpy(slot.path, text.c_str(), text.size() + 1);
        slot.state.store(2);
        return true;
    }
    return false;
}

void forget_temporary(const std::filesystem::path& path) {
    const std::string text = path.string();
    for (Slot& slot : slots()) {
        int used = 2;
        if (slot.state.load() == 2 && text == slot.path &&
            slot.state.compare_exchange_strong(used, 1))
            slot.state.store(0);
    }
}

void remove_temporaries_on_signals() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        std::signal(SIGINT, on_stop_signal);
        std::signal(SIGTERM, on_stop_signal);
    });
}

} // namespace orvohost
