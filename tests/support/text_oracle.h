#pragma once
// Slow, literal versions of the text cleanup (erase and insert in the
// string, linear scans of the entity tables), kept as simple as possible so
// the fast ones can be checked against them.
#include <string>

namespace korvo::test {

void literalReplaceBr(std::string& text);
void literalFilterHtml(std::string& text);

}  // namespace korvo::test
