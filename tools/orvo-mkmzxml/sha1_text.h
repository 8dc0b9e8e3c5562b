// SHA-1 digests as the 40 lower-case hex digits mzXML stores.
#pragma once

#include <nettle/sha1.h>

#include <string>
#include <string_view>

namespace mkmzxml {

// Finishes `context` (nettle then resets it) and returns its digest.
std::string sha1_hex(sha1_ctx& context);

std::string sha1_hex(std::string_view bytes);

} // namespace mkmzxml
