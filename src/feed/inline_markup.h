#pragma once
// The content of an element that holds mark-up (XHTML written straight
// into a feed), written back as the HTML it is, so that the cleanup reads
// it as it reads the same HTML escaped into one text.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "feed/xml_prescan.h"
#include "text/character_reference.h"

namespace korvo {

// text[begin, end) with its mark-up nodes (markupOfContent) as HTML: each
// tag, comment and other "<...>" node byte for byte as the document writes
// it; a CDATA section as its content; text as TinyXML reads it (references
// resolved, numbers in form), written back with "&", "<" and ">" as HTML
// escapes, each run of white space as one blank and none at either end.
std::string inlineMarkup(std::string_view text, std::size_t begin, std::size_t end,
                         const std::vector<XmlMarkupNode>& nodes, ReferenceForm form);

}  // namespace korvo
