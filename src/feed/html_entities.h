#pragma once
// Character references in an XML document that TinyXML would get wrong.
// XML defines only five names; feeds written by HTML tools use the rest
// ("&nbsp;") in element text, where TinyXML would keep the name and lose
// the "&", as it loses a bare "&" ("AT&T"). And TinyXML keeps only the low
// byte of a number ("&#8217;").
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "feed/document_buffer.h"
#include "feed/xml_prescan.h"

namespace korvo {

// Replaces, in place, each reference in element text whose name is one of
// HTML 4's but none of XML's five, and each number TinyXML would not give
// as it is (in UTF-8 one of 0x80 or above, else one of 0x100 or above, and
// 128 to 159, which stand for windows-1252 characters), by its character:
// UTF-8 when utf8, else singleByteText (a number that is no character
// leaves nothing). Every other "&" of element text and of element
// attribute values that TinyXML would drop (an unknown name, an "&" that
// starts no reference) is written "&amp;", so that it stays. Tags, comments,
// CDATA sections, processing instructions and declarations are left as
// they are: element text is what the pre-scan (prescanXml) walks as
// TinyXML would, up to where TinyXML would stop; a document it refuses is
// left alone. The document keeps its structure. Time linear in its size.
void decodeHtmlEntities(std::string& document, bool utf8);

// The same for the "&"s the pre-scan found in the document
// (XmlShape::references and XmlShape::attributeAmpersands); a position that
// holds no "&" is passed over.
void decodeReferencesAt(std::string& document, const XmlShape& shape, bool utf8);

// decodeReferencesAt's result, written to out, document left as it is
// (one write of each byte, where decoding in place needs a copy first to
// keep the document); false, out unchanged, when no reference changes.
bool decodeReferencesApart(std::string_view document, const XmlShape& shape, bool utf8,
                           DocumentBuffer& out);

}  // namespace korvo
