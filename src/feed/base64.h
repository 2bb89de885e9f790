#pragma once
// Base64 (RFC 4648, the standard alphabet) as feeds carry it inside an
// element: line breaks and blanks anywhere, padding optional.
#include <string>
#include <string_view>

namespace korvo {

// The bytes text encodes, into out. False, out unchanged, when text holds
// a character outside the alphabet (other than white space), "=" anywhere
// but at its end, or a length no base64 text has (one character left over).
// The decoded text is never longer than three quarters of text.
bool decodeBase64(std::string_view text, std::string& out);

}  // namespace korvo
