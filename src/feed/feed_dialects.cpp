#include "feed/feed_dialects.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "feed/link_resolver.h"
#include "text/text_cleaner.h"

namespace korvo {
namespace {

// What every text is read from and how it is cleaned.
struct Reading {
  const XmlDocument& document;
  const TextSteps& steps;
};

// The cleanup shortens texts in place; a stored text keeps no room to spare.
void clean(std::string& text, const TextSteps& settings) {
  if (settings.ReplaceBr) replaceBr(text);
  if (settings.FilterHtml)
    filterHtml(text, settings.ReplaceBr ? TagBreak::LineFeed : TagBreak::Blank,
               settings.references);
  if (text.size() < text.capacity()) text.shrink_to_fit();
}

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

// The content of the first child node named name, cleaned: the whole text
// of an element that holds text or a CDATA section; for one that holds
// mark-up, its content as the HTML the document writes, so that inline
// XHTML reads as the same HTML escaped would. True when there was such a
// child with content; otherwise out stays as it was.
bool readText(const TiXmlNode& parent, const char* name, std::string& out, const Reading& r) {
  const TiXmlNode* node = parent.FirstChild(name);
  const TiXmlNode* first = node ? node->FirstChild() : nullptr;
  if (!first) return false;
  if (first->ToText() && !first->NextSibling()) {
    out = first->Value();
  } else {
    const TiXmlElement* element = node->ToElement();
    if (!element || !r.document.markupContent(*element, r.steps.references, out)) {
      out.clear();
      appendTree(*node, out);
    }
  }
  clean(out, r.steps);
  return true;
}

// The text of parent's first child element named name, as written (no
// cleanup): for texts that are never shown, such as an item's identity.
void readPlain(const TiXmlNode& parent, const char* name, std::string& out) {
  const TiXmlElement* element = childElement(parent, name);
  const char* text = element ? element->GetText() : nullptr;
  if (text) out = text;
}

// readText of the first name in names that gives a text that is not empty.
void readFirstText(const TiXmlNode& parent, std::initializer_list<const char*> names,
                   std::string& out, const Reading& settings) {
  for (const char* name : names) {
    std::string text;
    if (readText(parent, name, text, settings) && !text.empty()) {
      out = std::move(text);
      return;
    }
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

// A link text of element resolved against its base.
void resolveIn(const TiXmlElement& element, const Feed& feed, std::string& link) {
  if (!link.empty())
    link = resolveLink(baseOf(element, feed.documentUrl.empty() ? feed.url : feed.documentUrl), link);
}

// The link among parent's "link" elements that points to the page: of
// those with an address, the first with rel "alternate" or without rel,
// else the first one.
void readLinkHref(const TiXmlElement& parent, const Feed& feed, std::string& out,
                  const Reading& settings) {
  const TiXmlElement* chosen = nullptr;
  const char* href = nullptr;
  for (const TiXmlNode* node = parent.FirstChild("link"); node; node = node->NextSibling("link")) {
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
  out = href;
  clean(out, settings.steps);
  resolveIn(*chosen, feed, out);
}

// The link text of element's child "link", resolved.
void readLinkText(const TiXmlElement& element, const Feed& feed, std::string& out,
                  const Reading& settings) {
  if (!readText(element, "link", out, settings)) return;
  const TiXmlElement* link = childElement(element, "link");
  resolveIn(link ? *link : element, feed, out);
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

// Calls read(element, item) for each element named name among the
// children of parent and appends the item it filled.
template <typename Read>
void readItems(Feed& feed, const TiXmlNode& parent, const char* name, Read read) {
  for (const TiXmlNode* node = parent.FirstChild(name); node; node = node->NextSibling(name)) {
    const TiXmlElement* element = node->ToElement();
    if (!element) continue;
    FeedItem item;
    read(*element, item);
    feed.channel.items.push_back(std::move(item));
  }
  feed.channel.items.shrink_to_fit();
}

}  // namespace

// Any version of rss is read as RSS 2.0.
bool readRss(Feed& feed, const XmlDocument& document, const TextSteps& steps) {
  const Reading settings{document, steps};
  const TiXmlElement* rss = childElement(document.tree(), "rss");
  if (!rss) return false;
  const TiXmlElement* channel = childElement(*rss, "channel");
  if (!channel) return false;
  Channel& c = feed.channel;
  readText(*channel, "title", c.title, settings);
  readLinkText(*channel, feed, c.link, settings);
  readText(*channel, "description", c.description, settings);
  readFirstText(*channel, {"language", "dc:language"}, c.language, settings);
  if (c.language.empty()) readXmlLang(*channel, c.language);
  readFirstText(*channel, {"copyright", "dc:rights"}, c.copyright, settings);
  readText(*channel, "lastBuildDate", c.lastBuildDate, settings);
  readText(*channel, "managingEditor", c.managingEditor, settings);
  readText(*channel, "rating", c.rating, settings);
  readFirstText(*channel, {"pubDate", "dc:date"}, c.pubDate, settings);
  readItems(feed, *channel, "item", [&](const TiXmlElement& element, FeedItem& item) {
    readText(element, "title", item.title, settings);
    readLinkText(element, feed, item.link, settings);
    readFirstText(element, {"description", "content:encoded"}, item.description, settings);
    readFirstText(element, {"pubDate", "dc:date"}, item.pubDate, settings);
    readPlain(element, "guid", item.guid);
  });
  return true;
}

bool readRdf(Feed& feed, const XmlDocument& document, const TextSteps& steps) {
  const Reading settings{document, steps};
  const TiXmlElement* rdf = childElement(document.tree(), "rdf:RDF");
  if (!rdf) return false;
  const TiXmlElement* channel = childElement(*rdf, "channel");
  if (!channel) return false;
  Channel& c = feed.channel;
  readText(*channel, "title", c.title, settings);
  readLinkText(*channel, feed, c.link, settings);
  readText(*channel, "description", c.description, settings);
  readText(*channel, "dc:language", c.language, settings);
  if (c.language.empty()) readXmlLang(*channel, c.language);
  readText(*channel, "dc:rights", c.copyright, settings);
  readText(*channel, "dc:date", c.pubDate, settings);
  readItems(feed, *rdf, "item", [&](const TiXmlElement& element, FeedItem& item) {
    readText(element, "title", item.title, settings);
    readLinkText(element, feed, item.link, settings);
    readFirstText(element, {"description", "content:encoded"}, item.description, settings);
    readText(element, "dc:date", item.pubDate, settings);
    if (const char* about = element.Attribute("rdf:about")) item.guid = about;
  });
  return true;
}

bool readAtom(Feed& feed, const XmlDocument& document, const TextSteps& steps) {
  const Reading settings{document, steps};
  const TiXmlElement* root = childElement(document.tree(), "feed");
  if (!root) return false;
  Channel& c = feed.channel;
  readText(*root, "title", c.title, settings);
  readText(*root, "subtitle", c.description, settings);
  readLinkHref(*root, feed, c.link, settings);
  readText(*root, "updated", c.lastBuildDate, settings);
  readText(*root, "rights", c.copyright, settings);
  readXmlLang(*root, c.language);
  readItems(feed, *root, "entry", [&](const TiXmlElement& element, FeedItem& item) {
    readText(element, "title", item.title, settings);
    readLinkHref(element, feed, item.link, settings);
    readFirstText(element, {"summary", "content"}, item.description, settings);
    readFirstText(element, {"published", "updated"}, item.pubDate, settings);
    readPlain(element, "id", item.guid);
  });
  return true;
}

}  // namespace korvo
