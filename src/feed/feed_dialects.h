#pragma once
// Each dialect's elements and where they go in the channel and its items.
// A reader returns false, having stored nothing, when the document lacks
// the elements that make it that dialect.
#include <string>

#include "feed/feed.h"
#include "feed/xml_document.h"
#include "text/character_reference.h"

namespace korvo {

// What is done to each text read: the meter's two cleanup switches, and the
// form references decoded by the HTML filter take (that of the document's
// text).
struct TextSteps {
  bool FilterHtml = true;
  bool ReplaceBr = true;
  ReferenceForm references = ReferenceForm::SingleByte;
};

// replaceBr and filterHtml as settings say, the text then holding no
// spare room.
void cleanText(std::string& text, const TextSteps& settings);

// RSS 0.91, 0.92 and 2.0 (and rss of any other or no version): rss >
// channel > item.
bool readRss(Feed& feed, const XmlDocument& document, const TextSteps& settings);
// RSS 1.0: rdf:RDF > channel, with the items beside the channel.
bool readRdf(Feed& feed, const XmlDocument& document, const TextSteps& settings);
// Atom: feed > entry, links taken from the first link with an href and rel
// "alternate" or none, else from the first link with an href. Relative
// links in every dialect are resolved against xml:base, else feed.url.
bool readAtom(Feed& feed, const XmlDocument& document, const TextSteps& settings);

}  // namespace korvo
