// A feed document straight into the character-set step and the parser.
// Three rules: convertAndParse has the same effect as convertCharset and
// then parse; the character-set step converts exactly the documents that
// TinyXML itself reads as UTF-8 (declared or undeclared) or ISO-8859-2,
// and leaves others as they are but for HTML names; the pre-scan's
// verdict on whether TinyXML fails is TinyXML's own. The first byte holds
// the meter settings and the dialect flags.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "feed/feed_parser.h"
#include "feed/xml_prescan.h"
#include "fuzz_check.h"

namespace {

using korvo::Channel;
using korvo::Feed;
using korvo::FeedItem;

bool sameItem(const FeedItem& a, const FeedItem& b) {
  return a.title == b.title && a.link == b.link && a.description == b.description &&
         a.pubDate == b.pubDate;
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

// The character-set step checked against TinyXML's own reading of the
// document, for documents within the bounds that let TinyXML see them.
void checkAgainstTinyXml(const std::string& original, const std::string& converted,
                         const Feed& feed, bool filterUnicode) {
  korvo::XmlShape shape;
  if (korvo::prescanXml(original, korvo::XmlLimits(), &shape) != korvo::XmlPrescanResult::Accepted)
    return;
  const std::string zeroEnded(original.c_str());
  TiXmlDocument tree;
  tree.Parse(zeroEnded.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  FUZZ_CHECK(tree.Error() == shape.parseError);
  const TiXmlNode* first = tree.Error() ? nullptr : tree.FirstChild();
  const TiXmlDeclaration* declaration = first ? first->ToDeclaration() : nullptr;
  FUZZ_CHECK((declaration != nullptr) == (!tree.Error() && shape.declarationLength > 0));
  // Without a declaration the document is UTF-8.
  const std::string encoding = declaration ? lowerCase(declaration->Encoding()) : "";
  FUZZ_CHECK(feed.encoding == encoding);
  const bool utf8 = encoding == "utf-8" || encoding.empty();
  const bool converts = encoding == "iso-8859-2" || (filterUnicode && utf8);
  if (converts) return;
  // Only the HTML names in element text change.
  std::string expected = original;
  if (!tree.Error() && shape.otherNames) korvo::decodeHtmlEntities(expected, utf8);
  FUZZ_CHECK(converted == expected);
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
  std::string twice = document;
  korvo::convertCharset(apart, twice, settings.FilterUnicode);
  checkAgainstTinyXml(document, twice, apart, settings.FilterUnicode);
  const bool resultApart = korvo::parse(apart, twice, settings);

  FUZZ_CHECK(resultTogether == resultApart);
  FUZZ_CHECK(once == twice);
  FUZZ_CHECK(together.encoding == apart.encoding);
  FUZZ_CHECK(together.errorText == apart.errorText);
  FUZZ_CHECK(sameChannel(together.channel, apart.channel));
  if (!resultTogether) FUZZ_CHECK(together.channel.title.empty() && together.channel.items.empty());
  return 0;
}
