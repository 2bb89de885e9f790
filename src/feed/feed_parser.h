#pragma once
// A downloaded document into a Feed: the character-set step, then the
// parse of RSS 0.91/0.92/2.0, RSS 1.0 or Atom (chosen by the feed's isRdf
// and isAtom flags) into its channel and items. Failures are recorded
// with Feed::setError; nothing throws for bad input.
#include <string>
#include <string_view>

#include "feed/cleanup_options.h"
#include "feed/html_entities.h"
#include "feed/feed.h"

namespace korvo {

// Empties the channel, then fills it from text, each stored text cleaned
// with replaceBr and filterHtml as settings say and its tooltip markers
// broken (breakTooltipMarker). False, with the error
// recorded, for a document that cannot be parsed ("Unable to parse
// document. " and the reason) or is not the expected dialect ("Invalid
// rss document."). text is read up to its first zero byte.
bool parse(Feed& feed, std::string_view text, const CleanupOptions& settings);

// Reads the XML declaration of a document that parses: feed.encoding
// becomes its encoding name in lower case; "utf-8", no name or no
// declaration at all converts text from UTF-8 when filterUnicode is on,
// "iso-8859-2" converts it from ISO-8859-2 always. Any other document is
// left as it is. Then, for a document that parses, HTML
// names in element text become characters (decodeHtmlEntities), in UTF-8
// when the document stays UTF-8.
void convertCharset(Feed& feed, std::string& text, bool filterUnicode);

// convertCharset, then parse, with the same effect as calling both, but
// parsing the document with TinyXML only once. body is converted in place.
bool convertAndParse(Feed& feed, std::string& body, const CleanupOptions& settings);

}  // namespace korvo
