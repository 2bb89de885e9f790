// A whole downloaded answer (status line, headers, body) through the
// examination the download makes (whole, and with its body set apart as
// the download receives it), then the character-set step and the parser,
// and every lookup a query makes. The first byte holds the meter
// settings and the feed's state before the download.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "feed/feed_parser.h"
#include "fuzz_check.h"
#include "retrieval/http_answer.h"

namespace {

using korvo::Feed;

bool isAnswerFailure(std::string_view message) {
  for (std::string_view known : {"No data recieved", "Invalid format.", "Error transfering data.",
                                 "Invalid rss format.", "Beginning of data not found.",
                                 "Server answered 'not modified' to a request without validators."})
    if (message == known) return true;
  return false;
}

bool isParseFailure(std::string_view message) {
  constexpr std::string_view kUnparsable = "Unable to parse document. ";
  return message == "Invalid rss document." ||
         (message.size() > kUnparsable.size() && message.substr(0, kUnparsable.size()) == kUnparsable);
}

bool holdsTooltipMarker(const korvo::Channel& c) {
  auto holds = [](const std::string& text) { return text.find("%tt") != std::string::npos; };
  for (const std::string* text : {&c.title, &c.link, &c.description, &c.language, &c.copyright,
                                  &c.managingEditor, &c.rating, &c.lastBuildDate, &c.pubDate})
    if (holds(*text)) return true;
  for (const korvo::FeedItem& item : c.items)
    for (const std::string* text : {&item.title, &item.link, &item.description, &item.pubDate})
      if (holds(*text)) return true;
  return false;
}

void queryEverything(const Feed& feed) {
  static constexpr const char* kChannelFields[] = {
      "title", "link", "description", "language", "copyright",
      "lastBuildDate", "managingEditor", "rating", "pubDate", "nonsense"};
  static constexpr const char* kItemFields[] = {"itemtitle", "itemlink", "itemdescription",
                                                "itempubDate", "title"};
  std::size_t total = 0;
  for (const char* name : kChannelFields) total += feed.field(name).size();
  const int count = static_cast<int>(feed.channel.items.size());
  for (const char* name : kItemFields)
    for (int index : {-1, 0, 1, count - 1, count, 2147483647})
      total += feed.itemField(name, index).size();
  FUZZ_CHECK(total < (std::size_t{1} << 40));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  korvo::CleanupOptions settings;
  settings.FilterUnicode = flags & 1;
  settings.FilterHtml = flags & 2;
  settings.ReplaceBr = flags & 4;

  // The feed as it was before the download.
  const auto setUp = [flags](Feed& feed) {
    feed.state.setHasData(flags & 8);
    feed.state.setFirstRun(flags & 16);
    feed.isRdf = flags & 32;
    feed.isAtom = flags & 64;
    feed.lastModified = "earlier date";
    feed.etag = "earlier tag";
    feed.channel.title = "earlier title";
    feed.channel.items.push_back({"earlier item", "", "", "", ""});
  };
  Feed feed("http://127.0.0.1/feed.xml");
  setUp(feed);

  const std::string received(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string answer = received;
  korvo::AnswerContext context;
  // As the download sends them: validators once the feed has data.
  context.conditional = (flags & 8) && !(flags & 16);
  const bool ok = korvo::examineAnswer(feed, answer, context);

  // The same answer with its body set apart, as the download receives it:
  // the same verdict, message, flags, validators and body.
  {
    Feed apart("http://127.0.0.1/feed.xml");
    setUp(apart);
    std::string head = received, body;
    const std::size_t end = received.find("\r\n\r\n");
    if (end != std::string::npos) {
      head.resize(end + 4);
      body = received.substr(end + 4);
    }
    FUZZ_CHECK(korvo::examineAnswer(apart, head, body, context) == ok);
    FUZZ_CHECK(body.empty() && head == answer && apart.errorText == feed.errorText);
    FUZZ_CHECK(apart.isRdf == feed.isRdf && apart.isAtom == feed.isAtom);
    FUZZ_CHECK(apart.lastModified == feed.lastModified && apart.etag == feed.etag);
    FUZZ_CHECK(apart.state.notModified == feed.state.notModified);
  }

  if (!ok) {
    FUZZ_CHECK(answer.empty());
    FUZZ_CHECK(isAnswerFailure(feed.errorText));
    FUZZ_CHECK(feed.channel.title == "earlier title" && feed.channel.items.size() == 1);
    FUZZ_CHECK(feed.lastModified == "earlier date" && feed.etag == "earlier tag");
    queryEverything(feed);
    return 0;
  }
  FUZZ_CHECK(feed.errorText.empty());
  if (feed.state.notModified) {
    FUZZ_CHECK(context.conditional);
    FUZZ_CHECK(received.compare(0, 12, "HTTP/1.1 304") == 0 ||
               received.compare(0, 12, "HTTP/1.0 304") == 0);
    FUZZ_CHECK(answer.empty());
    FUZZ_CHECK(feed.isRdf == bool(flags & 32) && feed.isAtom == bool(flags & 64));
    FUZZ_CHECK(feed.channel.title == "earlier title");
    return 0;
  }

  const std::size_t headerEnd = received.find("\r\n\r\n");
  FUZZ_CHECK(headerEnd != std::string::npos);
  FUZZ_CHECK(answer == received.substr(headerEnd + 4));
  FUZZ_CHECK(!answer.empty());
  FUZZ_CHECK(!(feed.isRdf && feed.isAtom));

  const bool parsed = korvo::convertAndParse(feed, answer, settings);
  if (parsed) {
    FUZZ_CHECK(feed.errorText.empty());
    FUZZ_CHECK(!holdsTooltipMarker(feed.channel));
  } else {
    FUZZ_CHECK(isParseFailure(feed.errorText));
    FUZZ_CHECK(feed.channel.title.empty() && feed.channel.items.empty());
  }
  queryEverything(feed);
  return 0;
}
