#include "feed/feed_dialects.h"

#include <cstring>
#include <utility>

#include "text/text_cleaner.h"

namespace korvo {
namespace {

// The cleanup shortens texts in place; a stored text keeps no room to spare.
void clean(std::string& text, const MeterSettings& settings) {
  if (settings.ReplaceBr) replaceBr(text);
  if (settings.FilterHtml)
    filterHtml(text, settings.ReplaceBr ? TagBreak::LineFeed : TagBreak::Blank);
  if (text.size() < text.capacity()) text.shrink_to_fit();
}

// The first child node named name, when it is an element.
const TiXmlElement* childElement(const TiXmlNode& parent, const char* name) {
  const TiXmlNode* node = parent.FirstChild(name);
  return node ? node->ToElement() : nullptr;
}

// The value of the first child node of the first child node named name,
// whatever kinds of node both are: the text of an element, the name of
// an element nested first in it, the content of a CDATA section.
void readText(const TiXmlNode& parent, const char* name, std::string& out,
              const MeterSettings& settings) {
  const TiXmlNode* node = parent.FirstChild(name);
  const TiXmlNode* first = node ? node->FirstChild() : nullptr;
  if (!first) return;
  out = first->Value();
  clean(out, settings);
}

void readLinkHref(const TiXmlNode& parent, std::string& out, const MeterSettings& settings) {
  const TiXmlElement* link = childElement(parent, "link");
  const char* href = link ? link->Attribute("href") : nullptr;
  if (!href) return;
  out = href;
  clean(out, settings);
}

bool isKnownRssVersion(const char* version) {
  for (const char* known : {"0.91", "0.92", "2.0"})
    if (std::strcmp(version, known) == 0) return true;
  return false;
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

bool readRss(Feed& feed, const TiXmlDocument& tree, const MeterSettings& settings) {
  const TiXmlElement* rss = childElement(tree, "rss");
  if (!rss) return false;
  const char* version = rss->Attribute("version");
  if (!version || !isKnownRssVersion(version)) return false;
  const TiXmlElement* channel = childElement(*rss, "channel");
  if (!channel) return false;
  Channel& c = feed.channel;
  readText(*channel, "title", c.title, settings);
  readText(*channel, "link", c.link, settings);
  readText(*channel, "description", c.description, settings);
  readText(*channel, "language", c.language, settings);
  readText(*channel, "copyright", c.copyright, settings);
  readText(*channel, "lastBuildDate", c.lastBuildDate, settings);
  readText(*channel, "managingEditor", c.managingEditor, settings);
  readText(*channel, "rating", c.rating, settings);
  readText(*channel, "pubDate", c.pubDate, settings);
  readItems(feed, *channel, "item", [&](const TiXmlElement& element, FeedItem& item) {
    readText(element, "title", item.title, settings);
    readText(element, "link", item.link, settings);
    readText(element, "description", item.description, settings);
    readText(element, "pubDate", item.pubDate, settings);
  });
  return true;
}

bool readRdf(Feed& feed, const TiXmlDocument& tree, const MeterSettings& settings) {
  const TiXmlElement* rdf = childElement(tree, "rdf:RDF");
  if (!rdf) return false;
  const TiXmlElement* channel = childElement(*rdf, "channel");
  if (!channel) return false;
  Channel& c = feed.channel;
  readText(*channel, "title", c.title, settings);
  readText(*channel, "link", c.link, settings);
  readText(*channel, "description", c.description, settings);
  readItems(feed, *rdf, "item", [&](const TiXmlElement& element, FeedItem& item) {
    readText(element, "title", item.title, settings);
    readText(element, "link", item.link, settings);
    readText(element, "description", item.description, settings);
  });
  return true;
}

bool readAtom(Feed& feed, const TiXmlDocument& tree, const MeterSettings& settings) {
  const TiXmlElement* root = childElement(tree, "feed");
  if (!root) return false;
  Channel& c = feed.channel;
  readText(*root, "title", c.title, settings);
  readText(*root, "subtitle", c.description, settings);
  readLinkHref(*root, c.link, settings);
  readText(*root, "updated", c.lastBuildDate, settings);
  readItems(feed, *root, "entry", [&](const TiXmlElement& element, FeedItem& item) {
    readText(element, "title", item.title, settings);
    readLinkHref(element, item.link, settings);
    readText(element, "summary", item.description, settings);
    readText(element, "published", item.pubDate, settings);
  });
  return true;
}

}  // namespace korvo
