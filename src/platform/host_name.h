#pragma once
// The check both TCP implementations make before a name lookup.
#include <string_view>

namespace korvo {

// A host name made only of the characters a name can hold, with no empty
// label, or an IPv6 literal (hex digits, ":" and "." only, brackets already
// removed). Anything else (a port, user information, a blank, a zero byte)
// can never resolve, so it is refused rather than sent to a name server.
bool isLookupName(std::string_view host);

// True for a text isLookupName accepts that can only be an IPv6 literal.
bool isIpv6Literal(std::string_view host);

}  // namespace korvo
