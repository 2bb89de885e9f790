#pragma once
// JSON Feed 1.0 and 1.1: telling a JSON document from XML, recognising a
// JSON Feed, and reading one into a channel. Parses are bounded in size
// (limits::kMaxResponseBytes) and nesting (limits::kMaxJsonDepth) and
// never recurse; nothing throws for bad input.
#include <string>
#include <string_view>

#include "feed/feed.h"
#include "feed/feed_dialects.h"

namespace korvo {

// Whether body is JSON rather than XML: its first byte after a UTF-8
// byte-order mark and white space is "{" or "[", which no XML document
// starts with.
bool looksLikeJson(std::string_view body);

// Whether body is a JSON object whose top-level "version" is a JSON Feed
// version URL ("https://jsonfeed.org/version/1", ".../1.1", and the http:
// form). The parse stops at that member; a document that breaks the JSON
// syntax or the bounds before it is no JSON Feed.
bool hasJsonFeedVersion(std::string_view body);

enum class JsonFeedReading { Read, Malformed, NotAFeed };

// Reads body into feed.channel, which it replaces only when the result is
// Read. Malformed: not JSON, or past a bound; error then says why ("Invalid
// JSON at byte N.", "Document nested too deeply.", "Document too large.").
// NotAFeed: JSON, but no object with a JSON Feed version or an items array.
// Bytes that are no UTF-8 are read as windows-1252 and a lone UTF-16
// surrogate as U+FFFD; control characters other than tab, line feed and
// carriage return are dropped. Texts come out in UTF-8, or narrowed to
// single bytes as CharsetConverter::fromUtf8 narrows a document when
// narrow; content_html is then cleaned with steps, plain texts are not.
JsonFeedReading readJsonFeed(Feed& feed, std::string_view body, const TextSteps& steps,
                             bool narrow, std::string& error);

}  // namespace korvo
