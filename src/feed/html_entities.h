#pragma once
// Character references in an XML document that TinyXML would get wrong.
// XML defines only five names; feeds written by HTML tools use the rest
// ("&nbsp;") in element text, where TinyXML would keep the name and lose
// the "&". And TinyXML keeps only the low byte of a number ("&#8217;").
#include <string>

namespace korvo {

// Replaces, in place, each reference in element text whose name is one of
// HTML 4's but none of XML's five, and each number of 0x80 or above, by its
// character: UTF-8 when utf8, else singleByteText (a number that is no
// character leaves nothing). Tags, comments, CDATA sections, processing instructions
// and declarations are left as they are, and so are unknown names. The
// document only shrinks and keeps its structure. Time linear in its size.
void decodeHtmlEntities(std::string& document, bool utf8);

}  // namespace korvo
