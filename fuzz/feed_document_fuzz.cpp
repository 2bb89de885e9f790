// A feed document straight into the character-set step and the parser.
// Four rules: convertAndParse has the same effect as convertCharset and
// then parse; the character-set step converts exactly the documents that
// TinyXML itself reads as UTF-8 (declared in any spelling, or undeclared)
// or ISO-8859-2, and leaves others as they are but for HTML names; the
// pre-scan's verdict on whether TinyXML fails is TinyXML's own, every
// element of TinyXML's tree that holds mark-up is one the walk finds, and
// the walk and the decoding of references give what their plain first
// versions gave. And read in Unicode for a code page, every stored text is
// whole characters of it and holds no tooltip marker. A JSON document
// takes the JSON Feed reading on every path, so the same rules hold for
// it. The first byte holds the meter settings and the dialect flags, its
// top bits the code page.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "feed/document_charset.h"
#include "feed/feed_parser.h"
#include "feed/html_entities.h"
#include "feed/xml_document.h"
#include "feed/xml_prescan.h"
#include "platform/text_conversion.h"
#include "feed/prescan_oracle.h"
#include "text/target_code_page.h"
#include "fuzz_check.h"

namespace {

using korvo::Channel;
using korvo::Feed;
using korvo::FeedItem;

bool sameItem(const FeedItem& a, const FeedItem& b) {
  return a.title == b.title && a.link == b.link && a.description == b.description &&
         a.pubDate == b.pubDate && a.guid == b.guid;
}

bool sameChannel(const Channel& a, const Channel& b) {
  if (a.title != b.title || a.link != b.link || a.description != b.description ||
      a.language != b.language || a.copyright != b.copyright ||
      a.managingEditor != b.managingEditor || a.rating != b.rating ||
      a.lastBuildDate != b.lastBuildDate || a.pubDate != b.pubDate ||
      a.items.size() != b.items.size())
    return false;
  for (std::size_t i = 0; i < a.items.size(); ++i)
    if (!sameItem(a.items[i], b.items[i])) return false;
  return true;
}

std::string lowerCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Every element of TinyXML's tree that holds mark-up (any node but plain
// text) is found in the text by the walk, so that its content is read as
// the document writes it.
void checkMarkupIsFound(const std::string& text) {
  const korvo::XmlDocument document(text);
  if (document.failed()) return;
  std::vector<const TiXmlNode*> pending = {&document.tree()};
  std::string content;
  while (!pending.empty()) {
    const TiXmlNode* node = pending.back();
    pending.pop_back();
    bool markup = false;
    for (const TiXmlNode* c = node->FirstChild(); c; c = c->NextSibling()) {
      pending.push_back(c);
      const TiXmlText* plain = c->ToText();
      if (!plain || plain->CDATA()) markup = true;
    }
    if (markup && node->ToElement())
      FUZZ_CHECK(
          document.markupContent(*node->ToElement(), korvo::ReferenceForm::SingleByte, content));
  }
}

// The character-set step checked against TinyXML's own reading of the
// document, for documents within the bounds that let TinyXML see them.
void checkAgainstTinyXml(const std::string& original, const std::string& converted,
                         const Feed& feed, bool filterUnicode) {
  korvo::XmlShape shape;
  const korvo::XmlPrescanResult scanned = korvo::prescanXml(original, korvo::XmlLimits(), &shape);
  // The walk's count of high bytes is that of the whole text.
  std::size_t high = 0;
  for (const char c : original) high += static_cast<unsigned char>(c) >= 0x80;
  FUZZ_CHECK(shape.highBytes == high && shape.highBytesInText <= high);
  if (scanned != korvo::XmlPrescanResult::Accepted) return;
  // A byte-order mark or UTF-16 makes the document UTF-8 before anything else.
  if (korvo::wideCharset(original, "").codePage != 0) return;
  const std::string zeroEnded(original.c_str());
  TiXmlDocument tree;
  tree.Parse(zeroEnded.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  FUZZ_CHECK(tree.Error() == shape.parseError);
  checkMarkupIsFound(zeroEnded);
  const TiXmlNode* first = tree.Error() ? nullptr : tree.FirstChild();
  const TiXmlDeclaration* declaration = first ? first->ToDeclaration() : nullptr;
  FUZZ_CHECK((declaration != nullptr) == (!tree.Error() && shape.declarationLength > 0));
  // Without a declaration the document is UTF-8.
  const std::string encoding = declaration ? lowerCase(declaration->Encoding()) : "";
  FUZZ_CHECK(feed.encoding == encoding);
  const unsigned codePage =
      encoding.empty() ? korvo::charset::kUtf8 : korvo::charset::codePageForName(encoding);
  const bool utf8 = codePage == korvo::charset::kUtf8;
  const bool converts = codePage == 28592 || (filterUnicode && utf8);
  if (converts) return;
  // Only the HTML names in element text change.
  std::string expected = original;
  if (!tree.Error() && shape.otherNames) korvo::decodeHtmlEntities(expected, utf8);
  FUZZ_CHECK(converted == expected);
}

// The pre-scan and the decoding of references give what their plain
// first versions gave, byte for byte.
void checkAgainstPlainVersions(const std::string& document) {
  korvo::XmlShape fast, plain;
  FUZZ_CHECK(korvo::prescanXml(document, korvo::XmlLimits(), &fast) ==
             korvo::test::oraclePrescan(document, plain));
  FUZZ_CHECK(fast.parseError == plain.parseError && fast.elements == plain.elements &&
             fast.depth == plain.depth && fast.attributes == plain.attributes &&
             fast.nodes == plain.nodes && fast.nodeLevels == plain.nodeLevels &&
             fast.attributePairs == plain.attributePairs &&
             fast.attributesInAll == plain.attributesInAll && fast.otherNames == plain.otherNames &&
             fast.references == plain.references &&
             fast.attributeAmpersands == plain.attributeAmpersands &&
             fast.highBytes == plain.highBytes &&
             fast.declarationLength == plain.declarationLength);
  // Where TinyXML fails in a text node, the plain walk counts the rest of
  // the document as that text; no one reads the count then.
  if (!fast.parseError) FUZZ_CHECK(fast.highBytesInText == plain.highBytesInText);
  for (const bool utf8 : {false, true}) {
    std::string decoded = document, plainDecoded = document;
    korvo::decodeReferencesAt(decoded, fast, utf8);
    korvo::test::oracleDecode(plainDecoded, plain, utf8);
    FUZZ_CHECK(decoded == plainDecoded);
    korvo::DocumentBuffer apart;
    const bool changed = korvo::decodeReferencesApart(document, fast, utf8, apart);
    FUZZ_CHECK((changed ? std::string(apart.text()) : document) == decoded);
  }
}

// Every text of a channel read for target: whole characters of it (for
// UTF-8, well-formed), no tooltip marker.
void checkTexts(const Channel& c, const korvo::TargetCodePage& target) {
  auto check = [&](const std::string& text) {
    FUZZ_CHECK(text.find("%tt") == std::string::npos);
    if (korvo::charset::isMultiByte(target.number) && target.number != korvo::charset::kUtf8) {
      // The last character is whole: a lead byte is followed by its trail.
      std::size_t i = 0;
      while (i < text.size())
        i += korvo::charset::isLeadByte(target.number, static_cast<unsigned char>(text[i])) ? 2 : 1;
      FUZZ_CHECK(i == text.size());
    }
    if (target.number == korvo::charset::kUtf8) {
      std::u32string codes;
      std::size_t dropped = 0;
      korvo::charset::decode(korvo::charset::kUtf8, text, codes, &dropped);
      FUZZ_CHECK(dropped == 0);
    }
  };
  for (const std::string* text : {&c.title, &c.link, &c.description, &c.language, &c.copyright,
                                  &c.managingEditor, &c.rating, &c.lastBuildDate, &c.pubDate})
    check(*text);
  for (const FeedItem& item : c.items)
    for (const std::string* text : {&item.title, &item.link, &item.description, &item.pubDate})
      check(*text);
}

void checkUnicodeReading(const std::string& document, std::uint8_t flags) {
  static const unsigned kTargets[] = {korvo::charset::kUtf8, 1251, 932, 1252};
  const korvo::TargetCodePage target{kTargets[(flags >> 5) & 3], false};
  korvo::CleanupOptions settings;
  settings.FilterHtml = flags & 2;
  settings.ReplaceBr = flags & 4;
  settings.target = target;
  Feed feed("http://127.0.0.1/feed.xml");
  feed.isRdf = flags & 8;
  feed.isAtom = flags & 16;
  std::string body = document;
  const bool parsed = korvo::convertAndParse(feed, body, settings, flags & 128 ? "koi8-r" : "");
  if (!parsed) FUZZ_CHECK(feed.channel.title.empty() && feed.channel.items.empty());
  checkTexts(feed.channel, target);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  korvo::CleanupOptions settings;
  settings.FilterUnicode = flags & 1;
  settings.FilterHtml = flags & 2;
  settings.ReplaceBr = flags & 4;
  const std::string document(reinterpret_cast<const char*>(data) + 1, size - 1);

  Feed together("http://127.0.0.1/feed.xml");
  Feed apart("http://127.0.0.1/feed.xml");
  for (Feed* feed : {&together, &apart}) {
    feed->isRdf = flags & 8;
    feed->isAtom = flags & 16;
    feed->channel.title = "earlier title";
  }

  std::string once = document;
  const bool resultTogether = korvo::convertAndParse(together, once, settings);
  // As a refresh reads it: the same feed, and the document as received at
  // hand afterwards.
  Feed refreshed("http://127.0.0.1/feed.xml");
  refreshed.isRdf = flags & 8;
  refreshed.isAtom = flags & 16;
  refreshed.channel.title = "earlier title";
  std::string received = document;
  korvo::ReceivedDocument keeping;
  keeping.convertApart = true;
  FUZZ_CHECK(korvo::convertAndParse(refreshed, received, settings, {}, {}, &keeping) ==
             resultTogether);
  FUZZ_CHECK((keeping.copied ? keeping.copy : received) == document);
  FUZZ_CHECK(refreshed.errorText == together.errorText);
  FUZZ_CHECK(sameChannel(refreshed.channel, together.channel));
  std::string twice = document;
  const bool utf8 = korvo::convertCharset(apart, twice, settings.FilterUnicode);
  checkAgainstTinyXml(document, twice, apart, settings.FilterUnicode);
  checkAgainstPlainVersions(document);
  const bool resultApart = korvo::parse(apart, twice, settings, utf8);

  FUZZ_CHECK(resultTogether == resultApart);
  FUZZ_CHECK(once == twice);
  FUZZ_CHECK(together.encoding == apart.encoding);
  FUZZ_CHECK(together.errorText == apart.errorText);
  FUZZ_CHECK(sameChannel(together.channel, apart.channel));
  if (!resultTogether) FUZZ_CHECK(together.channel.title.empty() && together.channel.items.empty());
  checkUnicodeReading(document, flags);
  return 0;
}
