#pragma once
// Feed documents made up for the benchmarks.
#include <cstddef>
#include <string>
#include <vector>

namespace korvo::bench {

// An RSS 2.0 document in UTF-8 with this channel title and one item per
// title, each with a link, a short description and a date.
std::string rssDocument(const std::string& channelTitle, const std::vector<std::string>& titles);

// A news feed of about `size` bytes: RSS 2.0 declared UTF-8, items with
// escaped HTML descriptions, and text with characters beyond Latin-1
// (quotes, dashes, the euro sign), so the character-set step narrows it.
std::string largeFeed(std::size_t size);

// A news feed of about `size` bytes as WordPress writes them: nearly all of
// it escaped HTML in the descriptions (paragraphs, images, links with query
// strings, breaks, named and numeric references), declared UTF-8.
std::string htmlHeavyFeed(std::size_t size);

// The news feeds of the pipeline benchmark, in each dialect, with the
// texts of each variant: ASCII writes accents as references (nearly every
// word holds one), Latin-1 as single bytes (declared ISO-8859-1), UTF-8 as
// sequences with quotes, dashes and signs beyond Latin-1, Cyrillic as
// Russian news in UTF-8. Items carry escaped HTML descriptions.
enum Dialect { kRss, kRdf, kAtom };
enum Variant { kAscii, kLatin1, kUtf8, kCyrillic };
extern const char* const kDialectNames[3];
extern const char* const kVariantNames[4];
std::string newsFeed(Dialect dialect, Variant variant, std::size_t size);

// A whole "200 OK" HTTP/1.0 answer carrying body.
std::string okAnswer(const std::string& body);

}  // namespace korvo::bench
