#include "native_id.h"

#include <fmt/format.h>

#include <iterator>

namespace orvohost::mzml {

void append_native_id(std::string& out, std::int64_t number) {
    fmt::format_to(std::back_inserter(out), "scan={}", number);
}

std::string native_id(std::int64_t number) {
    std::string id;
    append_native_id(id, number);
    return id;
}

} // namespace orvohost::mzml
