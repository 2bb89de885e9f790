#include "feed/feed_parser.h"

#include "feed/charset_converter.h"
#include "feed/feed_dialects.h"
#include "feed/html_entities.h"
#include "feed/xml_document.h"
#include "feed/xml_prescan.h"
#include "platform/ascii.h"

namespace korvo {
namespace {

bool readDocument(Feed& feed, const XmlDocument& document, const CleanupOptions& settings) {
  feed.clearChannel();
  if (document.failed()) {
    feed.setError("Unable to parse document. " + document.error());
    return false;
  }
  const TiXmlDocument& tree = document.tree();
  const bool valid = feed.isRdf    ? readRdf(feed, tree, settings)
                     : feed.isAtom ? readAtom(feed, tree, settings)
                                   : readRss(feed, tree, settings);
  if (!valid) {
    feed.setError("Invalid rss document.");
    return false;
  }
  // Last, so that no cleanup or conversion can make a marker afterwards.
  breakTooltipMarkers(feed.channel);
  return true;
}

// The character-set step for a text that the pre-scan has walked: its
// walk tells, as exactly as TinyXML would, whether the text parses and
// whether its first node is a declaration, so no full tree is built here.
// A document that names no encoding is UTF-8, XML's default. True when
// text changed; utf8 tells whether text is UTF-8 afterwards.
bool convert(Feed& feed, std::string& text, XmlPrescanResult scanned, const XmlShape& shape,
             bool filterUnicode, bool& utf8) {
  utf8 = false;
  if (scanned != XmlPrescanResult::Accepted || shape.parseError) return false;
  std::string encoding;
  if (shape.declarationLength != 0) {
    feed.encoding = declaredEncoding(text, shape.declarationLength);
    for (char& c : feed.encoding) c = ascii::lower(c);
    encoding = feed.encoding;
  }
  const CharsetConverter converter;
  if (encoding == "utf-8" || encoding.empty()) {
    if (filterUnicode) return converter.fromUtf8(text);
    utf8 = true;
    return false;
  }
  if (encoding == "iso-8859-2") return converter.fromIso88592(text);
  return false;
}

}  // namespace

bool parse(Feed& feed, std::string_view text, const CleanupOptions& settings) {
  // TinyXML reads a zero-terminated copy.
  const std::string copy(text.substr(0, text.find('\0')));
  return readDocument(feed, XmlDocument(copy), settings);
}

void convertCharset(Feed& feed, std::string& text, bool filterUnicode) {
  XmlShape shape;
  const XmlPrescanResult scanned = prescanXml(text, XmlLimits(), &shape);
  bool utf8 = false;
  convert(feed, text, scanned, shape, filterUnicode, utf8);
  if (scanned == XmlPrescanResult::Accepted && !shape.parseError && shape.otherNames)
    decodeHtmlEntities(text, utf8);
}

bool convertAndParse(Feed& feed, std::string& body, const CleanupOptions& settings) {
  XmlShape shape;
  const XmlPrescanResult scanned = prescanXml(body, XmlLimits(), &shape);
  bool utf8 = false;
  // When the text nodes hold every byte the conversion may change, the
  // shape the pre-scan found stays and the converted text needs no second
  // walk.
  const bool onlyText = scanned == XmlPrescanResult::Accepted && !shape.parseError &&
                        countHighBytes(body) == shape.highBytesInText;
  const bool converted = convert(feed, body, scanned, shape, settings.FilterUnicode, utf8);
  if (scanned == XmlPrescanResult::Accepted && !shape.parseError && shape.otherNames)
    decodeHtmlEntities(body, utf8);
  if (converted && !onlyText) return readDocument(feed, XmlDocument(body), settings);
  // The decoding keeps the structure the pre-scan walked.
  return readDocument(feed, XmlDocument(body, scanned), settings);
}

}  // namespace korvo
