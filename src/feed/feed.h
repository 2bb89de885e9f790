#pragma once
// One news feed: its refresh state, validators, dialect, parsed channel and
// items, and the message of its last failure. The channel is cleaned with
// one set of cleanup options; other meters of the same URL read copies of
// the same document cleaned with theirs. Copies are deep. Lookups never
// fail: anything not found is the empty text. No text of a feed holds the
// tooltip marker.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/environment.h"
#include "feed/cleanup_options.h"
#include "feed/refresh_state.h"

namespace korvo {

struct FeedItem {
  std::string title;
  std::string link;
  std::string description;
  std::string pubDate;
  // What names the item across downloads: RSS guid, Atom id or the
  // rdf:about of RSS 1.0, as written; empty when the feed gives none.
  std::string guid;
  // Not among the feed's items before the download that brought it (see
  // markNewItems).
  bool isNew = false;
};

struct Channel {
  std::string title;
  std::string link;
  std::string description;
  std::string language;
  std::string copyright;
  std::string managingEditor;
  std::string rating;
  std::string lastBuildDate;
  std::string pubDate;
  std::vector<FeedItem> items;
  // Made anew each time the channel is emptied for a new document: what
  // readers that keep something worked out from the items compare (a
  // channel filled by hand has none).
  std::shared_ptr<const char> fill;
};

// The feed's document cleaned with other options than its channel's.
struct CleanedChannel {
  CleanupOptions options;
  Channel channel;
  std::string errorText;  // why the document did not parse with these options
};

// The body of the last download that parsed, as it was received, with its
// dialect: what other cleanups are made from without a new download.
struct RawDocument {
  std::string body;
  bool isRdf = false;
  bool isAtom = false;
  std::string charset;      // of the answer's Content-Type; empty when none
  std::string documentUrl;  // where it came from, after redirects
  std::string language;     // the answer's Content-Language tag; empty when none
};

// What names an item across downloads: its guid, else its link, else its
// title.
std::string_view itemIdentity(const FeedItem& item);

// Sets isNew on each item of now whose identity no item of before has, and
// clears it on the others; when before has no items (a first download),
// no item is new.
void markNewItems(Channel& now, const Channel& before);

// Every text of the channel and of its items, channel first.
std::vector<std::string*> textsOf(Channel& channel);

// Breaks the tooltip marker in every text of the channel and its items.
void breakTooltipMarkers(Channel& channel);

class Feed {
 public:
  Feed() : Feed(std::string()) {}
  // env must outlive the feed and its copies.
  explicit Feed(std::string url, const Environment& env = defaultEnvironment());

  RefreshState state;
  std::string url;
  std::string lastModified;
  std::string etag;
  Channel channel;
  bool isRdf = false;
  bool isAtom = false;
  std::string errorText;
  std::string encoding;
  // The address the document was read from, after redirects: the base of
  // its relative links. Empty: url.
  std::string documentUrl;
  CleanupOptions cleanup;               // what channel was cleaned with
  std::vector<CleanedChannel> variants;  // of raw, at most one per set of options
  RawDocument raw;

  // The channel cleaned with options: channel itself, a variant, or null
  // when there is none yet.
  const Channel* cleanedChannel(const CleanupOptions& options) const;

  // A channel field by its name ("title", "link", ...); empty without data.
  const std::string& field(std::string_view name) const;
  // A field of item `index` by its name ("itemtitle", ...).
  const std::string& itemField(std::string_view name, int index) const;
  // The same, read from the channel cleaned with options.
  const std::string& field(std::string_view name, const CleanupOptions& options) const;
  const std::string& itemField(std::string_view name, int index,
                               const CleanupOptions& options) const;
  // The items with data, cleaned with options.
  std::size_t itemCount(const CleanupOptions& options) const;
  // errorText, or when that is empty the reason the variant for options
  // did not parse.
  const std::string& errorFor(const CleanupOptions& options) const;

  // The text every lookup that finds nothing yields.
  static const std::string& emptyText();

  // Records a failure: errorText becomes message (its tooltip markers
  // broken); the log gets "Error: " + that text, then the URL in brackets
  // (as urlForLog shows it) when there is one.
  void setError(std::string message);
  void clearChannel();
  // Drops the kept document and every variant made from it.
  void clearRaw();
  void addItem(const FeedItem& item) { channel.items.push_back(item); }
  // Adds a variant, its items marked new as the channel's are.
  void keepVariant(CleanedChannel variant);
  // No item of the channel or of any variant is new any more.
  void clearNewMarks();

  const Environment& env() const { return *env_; }

 private:
  const Environment* env_;
};

}  // namespace korvo
