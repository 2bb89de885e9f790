#include "feed/feed_parser.h"

#include <algorithm>
#include <vector>

#include "feed/charset_converter.h"
#include "feed/document_charset.h"
#include "feed/feed_dialects.h"
#include "feed/html_entities.h"
#include "feed/json_feed.h"
#include "feed/xml_document.h"
#include "feed/xml_prescan.h"
#include "platform/ascii.h"
#include "platform/text_conversion.h"

namespace korvo {
namespace {

constexpr unsigned kIso88592 = 28592;

// The UTF-8 texts of the channel written in the target code page. All go
// to the converter at once, joined by zero characters, which no text holds
// and every code page writes as one zero byte of its own.
void encodeChannel(Channel& channel, const TargetCodePage& target) {
  std::vector<std::string*> texts = textsOf(channel);
  if (target.number == charset::kUtf8 && !target.latin1) {
    // Already UTF-8: only a text that is not well-formed is written anew.
    for (std::string* text : texts) {
      if (isWellFormedUtf8(*text)) continue;
      std::u32string codes;
      charset::decode(charset::kUtf8, *text, codes);
      *text = encodeForTarget(codes, target);
    }
    return;
  }
  // ASCII is itself in every target: only the other texts are converted.
  texts.erase(std::remove_if(texts.begin(), texts.end(),
                             [](const std::string* text) {
                               return charset::plainAsciiEnd(*text, 0) == text->size();
                             }),
              texts.end());
  if (texts.empty()) return;
  std::u32string codes;
  for (std::string* text : texts) {
    charset::decode(charset::kUtf8, *text, codes);
    codes.push_back(0);
  }
  const std::string encoded = encodeForTarget(codes, target);
  std::size_t from = 0;
  for (std::string* text : texts) {
    std::size_t end = encoded.find('\0', from);
    if (end == std::string::npos) end = encoded.size();
    text->assign(encoded, from, end - from);
    from = end < encoded.size() ? end + 1 : end;
  }
}

// The channel from a parsed tree; its texts are then written in *target
// when given (they are UTF-8 until then).
bool readDocument(Feed& feed, const XmlDocument& document, const TextSteps& steps,
                  const TargetCodePage* target = nullptr) {
  feed.clearChannel();
  if (document.failed()) {
    feed.setError("Unable to parse document. " + document.error());
    return false;
  }
  const bool valid = feed.isRdf    ? readRdf(feed, document, steps)
                     : feed.isAtom ? readAtom(feed, document, steps)
                                   : readRss(feed, document, steps);
  if (!valid) {
    feed.setError("Invalid rss document.");
    return false;
  }
  if (target) encodeChannel(feed.channel, *target);
  // Last, so that no cleanup or conversion can make a marker afterwards.
  breakTooltipMarkers(feed.channel);
  return true;
}

TextSteps stepsFor(const CleanupOptions& settings, bool utf8) {
  return {settings.FilterHtml, settings.ReplaceBr,
          utf8 ? ReferenceForm::Utf8 : ReferenceForm::SingleByte};
}

// A JSON Feed, whose texts are UTF-8 as JSON's are: narrowed where the
// single-byte reading narrows a UTF-8 document, else cleaned in UTF-8 and,
// with FilterUnicode on, written in the target as the Unicode reading
// writes an XML document's texts.
bool parseJsonFeed(Feed& feed, std::string_view body, const CleanupOptions& settings) {
  feed.clearChannel();
  const bool narrow = settings.FilterUnicode && settings.target.latin1;
  std::string error;
  switch (readJsonFeed(feed, body, stepsFor(settings, !narrow), narrow, error)) {
    case JsonFeedReading::Malformed:
      feed.setError("Unable to parse document. " + error);
      return false;
    case JsonFeedReading::NotAFeed:
      feed.setError("Invalid rss document.");
      return false;
    case JsonFeedReading::Read:
      break;
  }
  if (settings.FilterUnicode && !narrow) encodeChannel(feed.channel, settings.target);
  breakTooltipMarkers(feed.channel);
  return true;
}

void beforeChange(ReceivedDocument* received, const std::string& body) {
  if (received != nullptr) received->beforeChange(body);
}

// The character-set step of the single-byte reading, for a text that the
// pre-scan has walked: its walk tells, as exactly as TinyXML would, whether
// the text parses and whether its first node is a declaration, so no full
// tree is built here. A document that names no encoding is UTF-8, XML's
// default, and so is one that came with a byte-order mark (byteOrderMark).
// True when text changed; utf8 tells whether text is UTF-8 afterwards.
// With apart, a conversion from UTF-8 leaves text as it is and writes the
// converted text to apart.
bool convert(Feed& feed, std::string& text, XmlPrescanResult scanned, const XmlShape& shape,
             bool filterUnicode, bool byteOrderMark, bool& utf8, const FollowedPositions* follow,
             ReceivedDocument* received, DocumentBuffer* apart) {
  utf8 = false;
  if (scanned != XmlPrescanResult::Accepted || shape.parseError) return false;
  std::string encoding;
  if (shape.declarationLength != 0) {
    feed.encoding = declaredEncoding(text, shape.declarationLength);
    for (char& c : feed.encoding) c = ascii::lower(c);
    encoding = feed.encoding;
  }
  // A name is read in any of the spellings the converter knows ("utf8").
  const unsigned codePage = encoding.empty() ? charset::kUtf8 : charset::codePageForName(encoding);
  const CharsetConverter converter;
  if (byteOrderMark || codePage == charset::kUtf8) {
    if (!filterUnicode) {
      utf8 = true;
      return false;
    }
    // Without a byte of 0x80 or above, only a zero byte could change the
    // text, and the walk has counted those bytes already.
    if (shape.highBytes == 0 && text.find('\0') == std::string::npos) return false;
    if (apart != nullptr) {
      DocumentBuffer converted;
      if (!converter.fromUtf8(text, converted, follow)) return false;
      *apart = std::move(converted);
      return true;
    }
    beforeChange(received, text);
    return converter.fromUtf8(text, follow);
  }
  if (codePage != kIso88592) return false;
  beforeChange(received, text);
  return converter.fromIso88592(text);
}

// A document in UTF-16, or with a byte-order mark, turned into UTF-8
// without its mark; true when it was one.
bool takeWideCharset(std::string& body, std::string_view httpCharset,
                     ReceivedDocument* received) {
  const DocumentCharset wide = wideCharset(body, httpCharset);
  if (wide.codePage == 0) return false;
  beforeChange(received, body);
  convertToUtf8(body, wide);
  return true;
}

// The character-set step of the single-byte reading (convertCharset);
// walked is the pre-scan's verdict on the converted text, which the
// decoding of references keeps. True when the text is UTF-8 afterwards.
// With apart, the conversion from UTF-8 and the decoding, while body is
// still as received, write to apart instead, and body stays as it is;
// apart, when it holds a text, holds the converted one.
bool convertBytes(Feed& feed, std::string& body, bool filterUnicode, std::string_view httpCharset,
                  XmlPrescanResult& walked, ReceivedDocument* received,
                  DocumentBuffer* apart = nullptr) {
  const auto stillApart = [&] {
    return apart != nullptr && !(received != nullptr && received->copied);
  };
  const bool byteOrderMark = takeWideCharset(body, httpCharset, received);
  XmlShape shape;
  const XmlPrescanResult scanned = prescanXml(body, XmlLimits(), &shape);
  bool utf8 = false;
  // When the text nodes hold every byte the conversion may change, the
  // shape the pre-scan found stays, and the references it found move
  // along with the text: the converted text needs no second walk.
  const bool onlyText = scanned == XmlPrescanResult::Accepted && !shape.parseError &&
                        shape.highBytes == shape.highBytesInText;
  const FollowedPositions references{{&shape.references, &shape.attributeAmpersands}};
  const bool converted = convert(feed, body, scanned, shape, filterUnicode, byteOrderMark, utf8,
                                 onlyText ? &references : nullptr, received,
                                 stillApart() ? apart : nullptr);
  const std::string_view text =
      apart != nullptr && !apart->empty() ? apart->text() : std::string_view(body);
  // A conversion outside the text nodes may change the tree: the converted
  // text is walked again, once.
  XmlShape again;
  const bool walkAgain = converted && !onlyText;
  walked = walkAgain ? prescanXml(text, XmlLimits(), &again) : scanned;
  if (scanned == XmlPrescanResult::Accepted && !shape.parseError && shape.otherNames &&
      walked == XmlPrescanResult::Accepted) {
    const XmlShape& found = walkAgain ? again : shape;
    if (stillApart()) {
      decodeReferencesApart(text, found, utf8, *apart);
    } else {
      beforeChange(received, body);
      decodeReferencesAt(body, found, utf8);
    }
  }
  return utf8;
}

// The single-byte reading: latin1 mode, and a document whose bytes stay
// as received (FilterUnicode off).
bool parseAsBytes(Feed& feed, std::string& body, const CleanupOptions& settings,
                  std::string_view httpCharset, ReceivedDocument* received) {
  XmlPrescanResult walked;
  DocumentBuffer apart;
  const bool utf8 = convertBytes(feed, body, settings.FilterUnicode, httpCharset, walked, received,
                                 received != nullptr && received->convertApart ? &apart : nullptr);
  const std::string_view text = apart.empty() ? std::string_view(body) : apart.text();
  if (looksLikeJson(text)) return parseJsonFeed(feed, text, settings);
  return readDocument(feed, XmlDocument(text, walked), stepsFor(settings, utf8));
}

// The reading in Unicode: the document in its charset to UTF-8, parsed as
// UTF-8, each text cleaned in UTF-8 and then written in the target.
bool parseAsUnicode(Feed& feed, std::string& body, const CleanupOptions& settings,
                    std::string_view httpCharset, ReceivedDocument* received) {
  const DocumentCharset charset = documentCharset(body, httpCharset);
  feed.encoding = charset.declared;
  for (char& c : feed.encoding) c = ascii::lower(c);
  if (!charset.unknownName.empty()) {
    // A name is the document's: one line of the log, at most 40 bytes.
    std::string name = charset.unknownName.substr(0, 40);
    for (char& c : name)
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    std::string line = "Unknown charset \"" + name + "\", read as " +
                       (charset.codePage == charset::kUtf8 ? "UTF-8" : "windows-1252");
    if (!feed.url.empty()) line += " (" + urlForLog(feed.url) + ")";
    feed.env().writeLine(line);
  }
  beforeChange(received, body);
  convertToUtf8(body, charset);
  if (looksLikeJson(body)) return parseJsonFeed(feed, body, settings);
  XmlShape shape;
  const XmlPrescanResult scanned = prescanXml(body, XmlLimits(), &shape);
  if (scanned == XmlPrescanResult::Accepted && !shape.parseError && shape.otherNames)
    decodeReferencesAt(body, shape, true);
  return readDocument(feed, XmlDocument(body, scanned, true), stepsFor(settings, true),
                      &settings.target);
}

}  // namespace

bool parse(Feed& feed, std::string_view text, const CleanupOptions& settings, bool utf8) {
  if (looksLikeJson(text)) return parseJsonFeed(feed, text, settings);
  // TinyXML reads a zero-terminated copy.
  const std::string copy(text.substr(0, text.find('\0')));
  return readDocument(feed, XmlDocument(copy), stepsFor(settings, utf8));
}

bool convertCharset(Feed& feed, std::string& text, bool filterUnicode) {
  // JSON is UTF-8; its texts are converted one by one as they are read.
  if (looksLikeJson(text)) return true;
  XmlPrescanResult walked;
  return convertBytes(feed, text, filterUnicode, {}, walked, nullptr);
}

bool convertAndParse(Feed& feed, std::string& body, const CleanupOptions& settings,
                     std::string_view httpCharset, std::string_view httpLanguage,
                     ReceivedDocument* received) {
  // Whatever the dialect flags say: no XML document starts like JSON.
  const bool parsed = looksLikeJson(body) ? parseJsonFeed(feed, body, settings)
                      : settings.target.latin1 || !settings.FilterUnicode
                          ? parseAsBytes(feed, body, settings, httpCharset, received)
                          : parseAsUnicode(feed, body, settings, httpCharset, received);
  // ASCII, the same in every target, and never a tooltip marker.
  if (parsed && feed.channel.language.empty()) feed.channel.language = std::string(httpLanguage);
  return parsed;
}

}  // namespace korvo
