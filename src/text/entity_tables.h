#pragma once
// The fixed tables of character references, built at compile time.
#include <cstdint>
#include <string_view>

namespace korvo {

// The ASCII stand-in for a character outside Latin-1 that the special
// table lists (8217 gives "'", 8364 gives "E", 8204 gives ""); null when
// the code has no row.
const char* specialReplacementForCode(std::uint32_t code);

}  // namespace korvo
