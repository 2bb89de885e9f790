#include "retrieval/feed_refresh.h"

#include <string>
#include <utility>

#include "feed/feed_parser.h"
#include "retrieval/http_fetcher.h"

namespace korvo {
namespace {

// The items the feed shows now, cleaned as the next parse will clean them
// where it has them so (links and titles, which may name an item, depend
// on the cleanup), taken out of the feed, which that parse replaces.
std::vector<FeedItem> takeItems(Feed& feed, const CleanupOptions& options) {
  if (!feed.state.hasData) return {};
  for (CleanedChannel& variant : feed.variants)
    if (variant.options == options && options != feed.cleanup)
      return std::move(variant.channel.items);
  return std::move(feed.channel.items);
}

}  // namespace

bool fetchAndParse(Feed& feed, const CleanupOptions& options, DownloadFacts* facts,
                   const std::function<void()>& beforeParse) {
  const Clock& clock = *feed.env().clock;
  RefreshState& state = feed.state;
  std::string body;
  DownloadFacts own;
  if (!facts) facts = &own;
  if (!download(feed, body, nullptr, facts)) {
    state.setErrorPending(true);
    state.stampError(clock.now());
    return false;
  }
  if (state.notModified) {
    // "Not modified" restarts the interval; otherwise every later query
    // would ask the server again.
    state.stampUpdate(clock.now());
    feed.clearNewMarks();
    return false;
  }
  if (beforeParse) beforeParse();
  // The document is kept as it came, for the other cleanups: the reading
  // writes its changes apart where it can, and copies body before it
  // changes body itself.
  ReceivedDocument received;
  received.convertApart = true;
  feed.documentUrl = facts->finalUrl;
  Channel before;
  before.items = takeItems(feed, options);
  const bool parsed =
      convertAndParse(feed, body, options, facts->charset, facts->language, &received);
  markNewItems(feed.channel, before);
  feed.cleanup = options;
  feed.clearRaw();
  if (parsed) {
    feed.raw = RawDocument{received.copied ? std::move(received.copy) : std::move(body),
                           feed.isRdf,
                           feed.isAtom,
                           facts->charset,
                           facts->finalUrl,
                           facts->language};
    state.stampUpdate(clock.now());
    state.setHasData(true);
  } else {
    // The parser has emptied the channel: no validators describe what the
    // feed shows now, so the next request asks for the whole document.
    feed.lastModified.clear();
    feed.etag.clear();
    state.setErrorPending(true);
    state.stampError(clock.now());
  }
  return true;
}

void addVariant(Feed& feed, const CleanupOptions& options) {
  if (feed.cleanedChannel(options)) return;
  if (feed.raw.body.empty()) {
    // The last parse failed: every cleanup of nothing is empty.
    feed.keepVariant(CleanedChannel{options, Channel(), std::string()});
    return;
  }
  Feed scratch(feed.url, feed.env());
  scratch.isRdf = feed.raw.isRdf;
  scratch.isAtom = feed.raw.isAtom;
  scratch.documentUrl = feed.raw.documentUrl;
  std::string body = feed.raw.body;
  convertAndParse(scratch, body, options, feed.raw.charset, feed.raw.language);
  feed.keepVariant(
      CleanedChannel{options, std::move(scratch.channel), std::move(scratch.errorText)});
}

void refresh(Feed& feed, int updateInterval, const CleanupOptions& options) {
  RefreshState& state = feed.state;
  const Clock& clock = *feed.env().clock;
  state.setNotModified(false);
  if (state.isDue(updateInterval, clock.now())) fetchAndParse(feed, options);
  state.setFirstRun(false);
  if (state.hasData && options != feed.cleanup) addVariant(feed, options);
}

}  // namespace korvo
