#pragma once
// HTML's named character references in an XML document. XML defines only
// five names; feeds written by HTML tools use the rest ("&nbsp;") in
// element text, where TinyXML would keep the name and lose the "&".
#include <string>

namespace korvo {

// Replaces, in place, each reference in element text whose name is one of
// HTML 4's but none of XML's five by its character: UTF-8 when utf8, else
// singleByteText. Tags, comments, CDATA sections, processing instructions
// and declarations are left as they are, and so are unknown names. The
// document only shrinks and keeps its structure. Time linear in its size.
void decodeHtmlEntities(std::string& document, bool utf8);

}  // namespace korvo
