#pragma once
// What the plug-in's texts need before Conky shows them through
// ${lua_parse}: UTF-8, and no byte that Conky would read as its own markup.
#include <cstddef>
#include <string>
#include <string_view>

namespace korvo::conky {

// Conky reads at most this many bytes of a lua_parse result (its default
// max_user_text, less the final zero byte).
inline constexpr std::size_t kMaxConkyText = 16383;

// TEMPORARY, until the plug-in writes UTF-8 itself: with CodePage=utf-8 in
// the [Settings] of its Korvo.ini (pluginWritesUtf8) the bytes pass
// unchanged; otherwise they are Latin-1, each byte from 0x80 up the
// character of that code, and are written in UTF-8.
std::string pluginTextToUtf8(std::string_view text, bool pluginWritesUtf8);

// The text as lua_parse output that Conky shows letter for letter: "$"
// doubled and "#" written "\#" (Conky's own escapes), so that no feed text
// can start a variable such as ${exec ...} or a comment; control bytes
// dropped (Conky draws some as markup of its own), except line feeds, which
// make lines, and tabs, which become blanks. At most maxBytes bytes, cut
// between characters, never inside an escape or a UTF-8 sequence.
std::string escapeForConky(std::string_view text, std::size_t maxBytes = kMaxConkyText);

}  // namespace korvo::conky
