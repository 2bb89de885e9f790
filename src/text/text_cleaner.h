#pragma once
// Cleanup of feed texts: line-break tags to line feeds, HTML mark-up
// removed and character references decoded. Both work in place, in time
// linear in the text's length, and report nothing.
#include <string>

namespace korvo {

// "<br>", then "<br />", each become one line feed; nothing else changes.
void replaceBr(std::string& text);

// Removes every "<...>" span, then decodes character references.
void filterHtml(std::string& text);

}  // namespace korvo
