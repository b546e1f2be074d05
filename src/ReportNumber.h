// Numbers as the report prints them.
#pragma once

namespace varrowin {

// Room that WriteShortG needs.
inline constexpr int kShortGRoom = 32;

// Writes the value as printf's "%.6g" writes it in the "C" locale (and as a default-formatted
// std::ostream does) to first, which has room for kShortGRoom characters; returns the end.
char* WriteShortG(char* first, double value);

}  // namespace varrowin
