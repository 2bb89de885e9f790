#pragma once
// Slow, literal versions of the text cleanup (a new string built character
// by character, std::string searches, linear scans of the entity tables),
// kept as simple as possible so the fast ones can be checked against them.
#include <string>

#include "text/text_cleaner.h"

namespace korvo::test {

void literalReplaceBr(std::string& text);
void literalFilterHtml(std::string& text, TagBreak tagBreak = TagBreak::Blank);

}  // namespace korvo::test
