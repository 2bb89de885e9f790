#pragma once
// Character references in an XML document that TinyXML would get wrong.
// XML defines only five names; feeds written by HTML tools use the rest
// ("&nbsp;") in element text, where TinyXML would keep the name and lose
// the "&". And TinyXML keeps only the low byte of a number ("&#8217;").
#include <cstddef>
#include <string>
#include <vector>

namespace korvo {

// Replaces, in place, each reference in element text whose name is one of
// HTML 4's but none of XML's five, and each number TinyXML would not give
// as it is (in UTF-8 one of 0x80 or above, else one of 0x100 or above, and
// 128 to 159, which stand for windows-1252 characters), by its character: UTF-8 when utf8, else singleByteText (a number that is no
// character leaves nothing). Tags, comments, CDATA sections, processing instructions
// and declarations are left as they are, and so are unknown names: element
// text is what the pre-scan (prescanXml) walks as TinyXML would, up to
// where TinyXML would stop; a document it refuses is left alone. The
// document only shrinks and keeps its structure. Time linear in its size.
void decodeHtmlEntities(std::string& document, bool utf8);

// The same for the references that start at the given positions (in text
// order), which the caller has found in element text (the pre-scan's
// XmlShape::references); a position that holds no "&" is passed over.
void decodeReferencesAt(std::string& document, const std::vector<std::size_t>& references,
                        bool utf8);

}  // namespace korvo
