// What stops a repair. A refusal is about the input: the file is not one
// that can be made readable, and the sentence says why. An I/O error is
// about the machine: a file that cannot be read or written.
#pragma once

#include <stdexcept>

namespace orvohost::repair {

class RepairRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RepairIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace orvohost::repair
