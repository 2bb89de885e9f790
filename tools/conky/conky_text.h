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

// The plug-in's bytes, written in codePage, in UTF-8 for Conky. UTF-8 (what
// a Korvo.ini for Conky sets) passes unchanged. The Latin-1 conversion is
// for a Korvo.ini without CodePage=utf-8: the plug-in's default on Linux is
// Latin-1, each byte from 0x80 up the character of that code. Any other
// code page goes through the system's converter; a byte that is no
// character of it is dropped.
std::string pluginTextToUtf8(std::string_view text, unsigned codePage);

// Each line of text (UTF-8) that is longer than width characters cut to
// width - 1 of them and "…" (U+2026), so that it takes width characters;
// a line that fits, and every line when width is 0, stays as it is.
// Characters are counted as Conky shows them: a UTF-8 sequence is one (a
// cut never splits it), a tab one, the control bytes escapeForConky drops
// none.
std::string fitLines(std::string_view text, std::size_t width);

// The text as lua_parse output that Conky shows letter for letter: "$"
// doubled and "#" written "\#" (Conky's own escapes), so that no feed text
// can start a variable such as ${exec ...} or a comment; an empty comment
// between a "$" and a word "template" or "{template" in any letter case, so
// that none can start one of Conky's templates either (Conky looks for
// those before it reads "$$"); control bytes dropped (Conky draws some as
// markup of its own), except line feeds, which make lines, and tabs, which
// become blanks. At most maxBytes bytes, cut between characters, never
// inside an escape or a UTF-8 sequence.
std::string escapeForConky(std::string_view text, std::size_t maxBytes = kMaxConkyText);

}  // namespace korvo::conky
