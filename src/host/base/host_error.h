// A failure of the host itself (no plug-in, an unwritable output file...),
// as opposed to a PAL::AppError raised by the plug-in.
#pragma once

#include <stdexcept>

namespace orvohost {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace orvohost
