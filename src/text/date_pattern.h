#pragma once
// strftime patterns written by our own code: the same text on every system
// and in every C locale (the C locale's English names and forms), and no
// conversion a C library might stumble on.
#include <ctime>
#include <string_view>

#include "text/date_text.h"

namespace korvo {

// Appends pattern with its conversions replaced by the parts of local, a
// broken-down local time whose fields are in range (civil::splitBrokenDown
// takes it) and which lies utcOffsetSeconds east of UTC. Knows the
// conversions of C and POSIX strftime and %k %l %P %s of GNU's, the E and O
// modifiers (the same text as without them) and GNU's flags - _ 0 ^. %Z
// writes nothing, as C allows where the zone's name is not known. Any other
// sequence after a % is written as it stands, as is a % that ends the
// pattern.
void appendDatePattern(std::string_view pattern, const std::tm& local, long utcOffsetSeconds,
                       DateText& out);

}  // namespace korvo
