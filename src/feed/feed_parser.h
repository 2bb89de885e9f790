#pragma once
// A downloaded document into a Feed: the character-set step, then the
// parse of RSS 0.91/0.92/2.0, RSS 1.0 or Atom (chosen by the feed's isRdf
// and isAtom flags) into its channel and items; a document that is JSON
// (looksLikeJson) is read as a JSON Feed whatever the flags say. Failures
// are recorded with Feed::setError; nothing throws for bad input.
#include <string>
#include <string_view>

#include "feed/cleanup_options.h"
#include "feed/html_entities.h"
#include "feed/feed.h"

namespace korvo {

// Empties the channel, then fills it from text, each stored text cleaned
// with replaceBr and filterHtml as settings say and its tooltip markers
// broken (breakTooltipMarker); references the HTML filter decodes are
// written in UTF-8 when utf8 (the text is UTF-8), else as single bytes.
// False, with the error
// recorded, for a document that cannot be parsed ("Unable to parse
// document. " and the reason) or is not the expected dialect ("Invalid
// rss document."). text is read up to its first zero byte.
bool parse(Feed& feed, std::string_view text, const CleanupOptions& settings, bool utf8 = false);

// The character-set step of the single-byte (latin1) reading. A document
// that starts with a byte-order mark, or is UTF-16 by XML's own detection
// (wideCharset), is first turned into UTF-8 without its mark.
// Then the XML declaration of a document that parses is read: feed.encoding
// becomes its encoding name in lower case; UTF-8 ("utf-8", "utf8" and the
// other spellings charset::codePageForName knows), no name, no declaration
// at all or a byte-order mark converts text from UTF-8 when filterUnicode
// is on, ISO-8859-2 ("iso-8859-2", "latin2" …) converts it from ISO-8859-2
// always. Any other document is left as it is. Then, for a document that parses, HTML
// names and numbers of 0x80 and above in element text become characters
// (decodeHtmlEntities), in UTF-8 when the document stays UTF-8. True when it
// does: the text is UTF-8 afterwards.
bool convertCharset(Feed& feed, std::string& text, bool filterUnicode);

// Reads body into feed, with the texts in settings.target. In latin1 mode,
// and whenever FilterUnicode is off, as convertCharset then parse (told
// what convertCharset returned) would (but parsing the document with
// TinyXML only once), except that a UTF-16 document that httpCharset names
// is also turned into UTF-8 first. Otherwise the
// document is read in the charset documentCharset finds (httpCharset is
// that of the answer's Content-Type), turned into UTF-8, parsed as UTF-8,
// each text cleaned, and then written in the target (encodeForTarget). An
// unknown charset name is logged. body is changed (with
// received->convertApart it may stay as received). httpLanguage, the
// answer's Content-Language as one tag of ASCII letters, digits and hyphens,
// is the channel's language when the document names none. received, when
// given, is told of each change before it is made (ReceivedDocument).
struct ReceivedDocument;
bool convertAndParse(Feed& feed, std::string& body, const CleanupOptions& settings,
                     std::string_view httpCharset = {}, std::string_view httpLanguage = {},
                     ReceivedDocument* received = nullptr);

// The document as it was received, while the reading changes it in place:
// copied just before the first change, so that a document that needs none
// is never copied. Afterwards the document as received is copy when
// copied, else the body itself. With convertApart, the single-byte
// reading's conversion from UTF-8 and its decoding of references, when the
// first to change the document, write the result to a buffer of their own,
// and body stays as received: no copy at all.
struct ReceivedDocument {
  std::string copy;
  bool copied = false;
  bool convertApart = false;
  void beforeChange(const std::string& body) {
    if (copied) return;
    copy = body;
    copied = true;
  }
};

}  // namespace korvo
