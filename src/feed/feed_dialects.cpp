#include "feed/feed_dialects.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "feed/base64.h"
#include "feed/charset_converter.h"
#include "feed/document_charset.h"
#include "feed/element_children.h"
#include "feed/link_resolver.h"
#include "platform/text_conversion.h"
#include "text/text_cleaner.h"

namespace korvo {
namespace {

// What every text is read from and how it is cleaned, with the room the
// cleanup works in, kept from one text to the next.
struct Reading {
  const XmlDocument& document;
  const TextSteps& steps;
  std::string& scratch;
};

// The names each element read has its children looked up by.
// clang-format off
constexpr ChildNames kRssChannelNames{
    "title", "dc:title", "link", "description", "dc:description", "itunes:subtitle",
    "itunes:summary", "language", "dc:language", "copyright", "dc:rights", "lastBuildDate",
    "dcterms:modified", "managingEditor", "dc:publisher", "webMaster", "rating", "pubDate",
    "dc:date", "dcterms:issued", "item"};
constexpr ChildNames kRdfNames{"channel", "item"};
constexpr ChildNames kRdfChannelNames{
    "title", "dc:title", "link", "description", "dc:description", "dc:language", "dc:rights",
    "dcterms:modified", "dc:publisher", "dc:date", "dcterms:issued"};
// Items of RSS and RSS 1.0.
constexpr ChildNames kItemNames{
    "title", "dc:title", "media:title", "media:group", "link", "guid", "description",
    "content:encoded", "xhtml:body", "dc:description", "itunes:summary", "itunes:subtitle",
    "media:description", "pubDate", "dc:date", "dcterms:issued", "dcterms:modified"};
constexpr ChildNames kAtomFeedNames{
    "title", "subtitle", "tagline", "info", "link", "updated", "modified", "rights", "copyright",
    "entry"};
constexpr ChildNames kAtomEntryNames{
    "title", "media:title", "media:group", "link", "summary", "content", "media:description",
    "published", "updated", "issued", "created", "modified", "id"};
// clang-format on

// The first child node named name, when it is an element.
const TiXmlElement* childElement(const TiXmlNode& parent, const char* name) {
  const TiXmlNode* node = parent.FirstChild(name);
  return node ? node->ToElement() : nullptr;
}

// Appends the content of node as the tree holds it, as mark-up: text
// escaped, each nested element as a start tag (its name alone), its
// content and an end tag. Only for an element that markupContent does not
// find in the text, which a document from the character-set step never has.
void appendTree(const TiXmlNode& node, std::string& out) {
  for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling()) {
    if (const TiXmlText* text = child->ToText()) {
      if (text->CDATA()) {
        out += text->Value();
        continue;
      }
      for (const char* c = text->Value(); *c; ++c) {
        if (*c == '&')
          out += "&amp;";
        else if (*c == '<')
          out += "&lt;";
        else
          out += *c;
      }
    } else if (child->ToElement()) {
      out += '<';
      out += child->Value();
      out += '>';
      appendTree(*child, out);
      out += "</";
      out += child->Value();
      out += '>';
    }
  }
}

// The content of node, not cleaned: the whole text of an element that
// holds text or a CDATA section, as the tree holds it; for one that holds
// mark-up, its content as the HTML the document writes, written to held,
// so that inline XHTML reads as the same HTML escaped would. False when
// node has no content.
bool contentOf(const TiXmlNode& node, std::string_view& content, std::string& held,
               const Reading& r) {
  const TiXmlNode* first = node.FirstChild();
  if (!first) return false;
  if (first->ToText() && !first->NextSibling()) {
    content = first->Value();
    return true;
  }
  const TiXmlElement* element = node.ToElement();
  if (!element || !r.document.markupContent(*element, r.steps.references, held)) {
    held.clear();
    appendTree(node, held);
  }
  content = held;
  return true;
}

// text as cleanText leaves it: text itself when no step can change it (no
// "<", and no "&" for the HTML filter), else the scratch text it was
// cleaned in, valid until the next text is cleaned.
std::string_view cleaned(std::string_view text, const Reading& r) {
  const bool anyStep = r.steps.ReplaceBr || r.steps.FilterHtml;
  if (!anyStep || text.empty()) return text;
  if (!std::memchr(text.data(), '<', text.size()) &&
      (!r.steps.FilterHtml || !std::memchr(text.data(), '&', text.size())))
    return text;
  r.scratch.assign(text.data(), text.size());
  if (r.steps.ReplaceBr) replaceBr(r.scratch);
  if (r.steps.FilterHtml)
    filterHtml(r.scratch, r.steps.ReplaceBr ? TagBreak::LineFeed : TagBreak::Blank,
               r.steps.references);
  return r.scratch;
}

// Stores text as a string of its own size: a stored text keeps no room to
// spare.
void store(std::string_view text, std::string& out) { out = std::string(text); }

void clean(std::string& text, const TextSteps& settings) { cleanText(text, settings); }

// The content of node, cleaned. True when node is there and has content;
// otherwise out stays as it was.
bool readText(const TiXmlNode* node, std::string& out, const Reading& r) {
  std::string held;
  std::string_view content;
  if (!node || !contentOf(*node, content, held, r)) return false;
  store(cleaned(content, r), out);
  return true;
}

bool isBlankText(const char* text) {
  for (; *text; ++text)
    if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n') return false;
  return true;
}

// The div that wraps the content of an Atom text of type "xhtml" (named
// "div" with or without a prefix), when it is all the element holds
// besides comments and white space; else null.
const TiXmlElement* xhtmlWrapper(const TiXmlElement& element) {
  const TiXmlElement* div = nullptr;
  for (const TiXmlNode* child = element.FirstChild(); child; child = child->NextSibling()) {
    if (child->ToComment()) continue;
    if (const TiXmlText* text = child->ToText()) {
      if (!text->CDATA() && isBlankText(text->Value())) continue;
      return nullptr;
    }
    const TiXmlElement* e = child->ToElement();
    if (!e || div) return nullptr;
    const char* name = e->Value();
    const char* colon = std::strrchr(name, ':');
    if (std::strcmp(colon ? colon + 1 : name, "div") != 0) return nullptr;
    div = e;
  }
  return div;
}

// Decoded base64 in the form of the document's other texts: in a UTF-8
// reading, bytes that are no UTF-8 are read as windows-1252 (as a document
// in UTF-8 has them read); in a single-byte reading, UTF-8 is narrowed as
// the character-set step narrows a document. False for bytes that are no
// text (a zero byte).
bool decodedAsText(std::string& bytes, const TextSteps& steps) {
  if (bytes.find('\0') != std::string::npos) return false;
  if (steps.references == ReferenceForm::Utf8) {
    if (!isWellFormedUtf8(bytes)) convertToUtf8(bytes, DocumentCharset{charset::kUtf8, 0, {}, {}});
  } else if (charset::plainAsciiEnd(bytes, 0) != bytes.size() && isWellFormedUtf8(bytes)) {
    CharsetConverter().fromUtf8(bytes);
  }
  return true;
}

// An Atom text (title, subtitle, summary, content, rights and the Atom 0.3
// ones), cleaned: of type "xhtml", the content of its div wrapper; in mode
// "base64" (Atom 0.3), decoded first; a text whose base64 is not valid is
// read as missing. Otherwise as readText.
bool readAtomText(const TiXmlNode* node, std::string& out, const Reading& r) {
  const TiXmlElement* element = node ? node->ToElement() : nullptr;
  if (!element) return readText(node, out, r);
  const char* mode = element->Attribute("mode");
  if (mode && std::strcmp(mode, "base64") == 0) {
    std::string held;
    std::string_view encoded;
    std::string decoded;
    if (!contentOf(*element, encoded, held, r) || !decodeBase64(encoded, decoded) ||
        !decodedAsText(decoded, r.steps))
      return false;
    out = std::move(decoded);
    clean(out, r.steps);
    return true;
  }
  const char* type = element->Attribute("type");
  const TiXmlElement* div =
      type && std::strcmp(type, "xhtml") == 0 ? xhtmlWrapper(*element) : nullptr;
  if (!div) return readText(node, out, r);
  std::string held;
  std::string_view content;
  if (!contentOf(*div, content, held, r)) content = {};
  store(cleaned(content, r), out);
  return true;
}

using TextReader = bool (*)(const TiXmlNode*, std::string&, const Reading&);

// The text of the first child element named name, as written (no
// cleanup): for texts that are never shown, such as an item's identity.
void readPlain(const ElementChildren& children, std::string_view name, std::string& out) {
  const TiXmlElement* element = children.element(name);
  const char* text = element ? element->GetText() : nullptr;
  if (text) store(text, out);
}

// read (readText unless given) of the first child named by names that
// gives a text that is not empty; true when one did.
bool readFirstText(const ElementChildren& children, std::initializer_list<std::string_view> names,
                   std::string& out, const Reading& settings, TextReader read = readText) {
  for (std::string_view name : names) {
    std::string text;
    if (read(children.first(name), text, settings) && !text.empty()) {
      out = std::move(text);
      return true;
    }
  }
  return false;
}

// Media RSS: name ("media:title", "media:description") of element, else
// of its media:group, when out is still empty.
void readMediaText(const ElementChildren& children, const char* name, std::string& out,
                   const Reading& settings) {
  if (!out.empty() || readFirstText(children, {name}, out, settings)) return;
  if (const TiXmlElement* group = children.element("media:group")) {
    std::string text;
    if (readText(group->FirstChild(name), text, settings) && !text.empty()) out = std::move(text);
  }
}

// The address that relative links in element are resolved against: the
// feed's own address, changed by each xml:base from the document element
// down to element.
std::string baseOf(const TiXmlElement& element, const std::string& feedUrl) {
  const TiXmlNode* parent = element.Parent();
  const TiXmlElement* outer = parent ? parent->ToElement() : nullptr;
  const std::string base = outer ? baseOf(*outer, feedUrl) : feedUrl;
  const char* own = element.Attribute("xml:base");
  return own ? resolveLink(base, own) : base;
}

// A link text of element resolved against its base; an absolute link is
// what it is whatever the base, so its base is never worked out.
void resolveIn(const TiXmlElement& element, const Feed& feed, std::string& link) {
  if (linkNeedsBase(link))
    link = resolveLink(baseOf(element, feed.documentUrl.empty() ? feed.url : feed.documentUrl), link);
}

// The link among the "link" elements of children that points to the page:
// of those with an address, the first with rel "alternate" or without rel,
// else the first one.
void readLinkHref(const ElementChildren& children, const Feed& feed, std::string& out,
                  const Reading& settings) {
  const TiXmlElement* chosen = nullptr;
  const char* href = nullptr;
  for (const TiXmlNode* node = children.first("link"); node; node = node->NextSibling("link")) {
    const TiXmlElement* link = node->ToElement();
    const char* address = link ? link->Attribute("href") : nullptr;
    if (!address || !*address) continue;
    if (!chosen) {
      chosen = link;
      href = address;
    }
    const char* rel = link->Attribute("rel");
    if (!rel || std::strcmp(rel, "alternate") == 0) {
      chosen = link;
      href = address;
      break;
    }
  }
  if (!chosen) return;
  store(cleaned(href, settings), out);
  resolveIn(*chosen, feed, out);
}

// The link text of element's child "link", resolved.
void readLinkText(const TiXmlElement& element, const ElementChildren& children, const Feed& feed,
                  std::string& out, const Reading& settings) {
  if (!readText(children.first("link"), out, settings)) return;
  const TiXmlElement* link = children.element("link");
  resolveIn(link ? *link : element, feed, out);
}

// An RSS item's guid as its link, when out is still empty and the guid is
// a permalink (isPermaLink absent or "true").
void readPermaLink(const ElementChildren& item, const Feed& feed, std::string& out,
                   const Reading& settings) {
  if (!out.empty()) return;
  const TiXmlElement* guid = item.element("guid");
  const char* permaLink = guid ? guid->Attribute("isPermaLink") : nullptr;
  if (!guid || (permaLink && std::strcmp(permaLink, "true") != 0)) return;
  if (readText(item.first("guid"), out, settings)) resolveIn(*guid, feed, out);
}

// The language of the nearest of element and its ancestors that names one.
void readXmlLang(const TiXmlElement& element, std::string& out) {
  for (const TiXmlNode* node = &element; node; node = node->Parent()) {
    const TiXmlElement* e = node->ToElement();
    const char* lang = e ? e->Attribute("xml:lang") : nullptr;
    if (lang && *lang) {
      out = lang;
      return;
    }
  }
}

// Calls read(element, children, item) for each element named name among
// parent's children, its own children looked up by names, and appends the
// item it filled.
template <typename Read>
void readItems(Feed& feed, const ElementChildren& parent, const char* name,
               const ChildNames& names, Read read) {
  std::vector<FeedItem>& items = feed.channel.items;
  items.reserve(items.size() + parent.count(name));
  for (const TiXmlNode* node = parent.first(name); node; node = node->NextSibling(name)) {
    const TiXmlElement* element = node->ToElement();
    if (!element) continue;
    FeedItem item;
    read(*element, ElementChildren(*element, names), item);
    items.push_back(std::move(item));
  }
  items.shrink_to_fit();
}

// The item texts RSS and RSS 1.0 share, read as the dialect's own
// elements say and then from the elements of other vocabularies.
void readItemTitle(const ElementChildren& item, std::string& out, const Reading& settings) {
  readFirstText(item, {"title", "dc:title"}, out, settings);
  readMediaText(item, "media:title", out, settings);
}

void readItemDescription(const ElementChildren& item, std::string& out, const Reading& settings) {
  readFirstText(item,
                {"description", "content:encoded", "xhtml:body", "dc:description",
                 "itunes:summary", "itunes:subtitle"},
                out, settings);
  readMediaText(item, "media:description", out, settings);
}

}  // namespace

void cleanText(std::string& text, const TextSteps& settings) {
  if (settings.ReplaceBr) replaceBr(text);
  if (settings.FilterHtml)
    filterHtml(text, settings.ReplaceBr ? TagBreak::LineFeed : TagBreak::Blank,
               settings.references);
  // The cleanup shortens texts in place; a stored text keeps no room to spare.
  if (text.size() < text.capacity()) text.shrink_to_fit();
}

// Any version of rss is read as RSS 2.0.
bool readRss(Feed& feed, const XmlDocument& document, const TextSteps& steps) {
  std::string scratch;
  const Reading settings{document, steps, scratch};
  const TiXmlElement* rss = childElement(document.tree(), "rss");
  if (!rss) return false;
  const TiXmlElement* channel = childElement(*rss, "channel");
  if (!channel) return false;
  const ElementChildren children(*channel, kRssChannelNames);
  Channel& c = feed.channel;
  readFirstText(children, {"title", "dc:title"}, c.title, settings);
  readLinkText(*channel, children, feed, c.link, settings);
  readFirstText(children, {"description", "dc:description", "itunes:subtitle", "itunes:summary"},
                c.description, settings);
  readFirstText(children, {"language", "dc:language"}, c.language, settings);
  if (c.language.empty()) readXmlLang(*channel, c.language);
  readFirstText(children, {"copyright", "dc:rights"}, c.copyright, settings);
  readFirstText(children, {"lastBuildDate", "dcterms:modified"}, c.lastBuildDate, settings);
  readFirstText(children, {"managingEditor", "dc:publisher", "webMaster"}, c.managingEditor,
                settings);
  readText(children.first("rating"), c.rating, settings);
  readFirstText(children, {"pubDate", "dc:date", "dcterms:issued"}, c.pubDate, settings);
  readItems(feed, children, "item", kItemNames,
            [&](const TiXmlElement& element, const ElementChildren& fields, FeedItem& item) {
              readItemTitle(fields, item.title, settings);
              readLinkText(element, fields, feed, item.link, settings);
              readPermaLink(fields, feed, item.link, settings);
              readItemDescription(fields, item.description, settings);
              readFirstText(fields, {"pubDate", "dc:date", "dcterms:issued", "dcterms:modified"},
                            item.pubDate, settings);
              readPlain(fields, "guid", item.guid);
            });
  return true;
}

bool readRdf(Feed& feed, const XmlDocument& document, const TextSteps& steps) {
  std::string scratch;
  const Reading settings{document, steps, scratch};
  const TiXmlElement* rdf = childElement(document.tree(), "rdf:RDF");
  if (!rdf) return false;
  const ElementChildren top(*rdf, kRdfNames);
  const TiXmlElement* channel = top.element("channel");
  if (!channel) return false;
  const ElementChildren children(*channel, kRdfChannelNames);
  Channel& c = feed.channel;
  readFirstText(children, {"title", "dc:title"}, c.title, settings);
  readLinkText(*channel, children, feed, c.link, settings);
  readFirstText(children, {"description", "dc:description"}, c.description, settings);
  readText(children.first("dc:language"), c.language, settings);
  if (c.language.empty()) readXmlLang(*channel, c.language);
  readText(children.first("dc:rights"), c.copyright, settings);
  readText(children.first("dcterms:modified"), c.lastBuildDate, settings);
  readText(children.first("dc:publisher"), c.managingEditor, settings);
  readFirstText(children, {"dc:date", "dcterms:issued"}, c.pubDate, settings);
  readItems(feed, top, "item", kItemNames,
            [&](const TiXmlElement& element, const ElementChildren& fields, FeedItem& item) {
              readItemTitle(fields, item.title, settings);
              readLinkText(element, fields, feed, item.link, settings);
              readItemDescription(fields, item.description, settings);
              readFirstText(fields, {"dc:date", "dcterms:issued", "dcterms:modified"},
                            item.pubDate, settings);
              if (const char* about = element.Attribute("rdf:about")) item.guid = about;
            });
  return true;
}

bool readAtom(Feed& feed, const XmlDocument& document, const TextSteps& steps) {
  std::string scratch;
  const Reading settings{document, steps, scratch};
  const TiXmlElement* root = childElement(document.tree(), "feed");
  if (!root) return false;
  const ElementChildren children(*root, kAtomFeedNames);
  Channel& c = feed.channel;
  readAtomText(children.first("title"), c.title, settings);
  // Atom 0.3 names the subtitle "tagline"; its "info" (what the feed is)
  // is the last description there is.
  readFirstText(children, {"subtitle", "tagline", "info"}, c.description, settings, readAtomText);
  readLinkHref(children, feed, c.link, settings);
  readFirstText(children, {"updated", "modified"}, c.lastBuildDate, settings);
  readFirstText(children, {"rights", "copyright"}, c.copyright, settings, readAtomText);
  readXmlLang(*root, c.language);
  readItems(feed, children, "entry", kAtomEntryNames,
            [&](const TiXmlElement&, const ElementChildren& fields, FeedItem& item) {
              readAtomText(fields.first("title"), item.title, settings);
              readMediaText(fields, "media:title", item.title, settings);
              readLinkHref(fields, feed, item.link, settings);
              readFirstText(fields, {"summary", "content"}, item.description, settings,
                            readAtomText);
              readMediaText(fields, "media:description", item.description, settings);
              readFirstText(fields, {"published", "updated", "issued", "created", "modified"},
                            item.pubDate, settings);
              readPlain(fields, "id", item.guid);
            });
  return true;
}

}  // namespace korvo
