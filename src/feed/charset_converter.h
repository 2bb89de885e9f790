#pragma once
// Turns a whole feed document into single bytes the host can show, in
// time linear in its length. Holds no data.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "feed/document_buffer.h"

namespace korvo {

// Positions in a text that a conversion carries along: each list sorted,
// each position one of an ASCII byte other than zero (these bytes are
// never changed, only moved). Afterwards each position is where its byte
// ended up.
struct FollowedPositions {
  std::vector<std::size_t>* lists[2] = {nullptr, nullptr};
};

class CharsetConverter {
 public:
  // UTF-8 to single bytes. First every character is narrowed on its own:
  // U+0001..U+00FF becomes its byte, a character above that becomes the
  // ASCII stand-in of the special entity table or nothing, a byte that is
  // not part of well-formed UTF-8 stays as it is, and a zero character
  // ends the text (a result without any byte leaves the text as it was).
  // Then every well-formed-looking multi-byte sequence left in a text run
  // (between a ">" and the next "<") is removed. True when the text changed.
  // follow, when given, is carried along (FollowedPositions).
  bool fromUtf8(std::string& text, const FollowedPositions* follow = nullptr) const;
  // The same, text left as it is: true, and the result in out, when it
  // changes; false, and nothing in out that counts, when it does not.
  bool fromUtf8(std::string_view text, DocumentBuffer& out,
                const FollowedPositions* follow = nullptr) const;

  // ISO-8859-2 letters with diacritics to plain ones (Iso88592Table),
  // outside "<...>" only. True when the text changed.
  bool fromIso88592(std::string& text) const;
};

}  // namespace korvo
