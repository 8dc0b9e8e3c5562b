// The output of several files read at once, in the order of the files and
// in bounded memory. Each file writes through its own slot: the slot of the
// file whose turn it is hands its text straight to the output; the others
// keep theirs in a temporary file on disk until their turn comes. So a
// reader never waits for another and memory holds no more than each
// file's unwritten mebibyte.
#pragma once

#include "output_file.h"

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>

namespace orvohost {

class OrderedSlot {
public:
    OrderedSlot() = default;
    ~OrderedSlot();
    OrderedSlot(const OrderedSlot&) = delete;
    OrderedSlot& operator=(const OrderedSlot&) = delete;

    // Where the slot's text goes once it is its turn; set before use.
    void bind(OutputFile& output) { out = &output; }

    // Hands `text` on and empties it: to the output in the slot's turn,
    // else to its file on disk. Raises HostError when either fails.
    void take(std::string& text);
    // Hands `text` on once it holds more than a mebibyte.
    void take_when_full(std::string& text);

    // The slot's turn has come: what it kept on disk goes to the output
    // first; from now on its text goes straight there. Called once the
    // slots before it are written whole.
    void start_turn();

private:
    std::mutex lock;
    OutputFile* out = nullptr;
    bool in_turn = false;
    std::FILE* kept = nullptr;
    std::filesystem::path kept_path;
};

} // namespace orvohost
