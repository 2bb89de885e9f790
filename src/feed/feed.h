#pragma once
// One news feed: its refresh state, validators, dialect, parsed channel and
// items, and the message of its last failure. Copies are deep. Lookups
// never fail: anything not found is the empty text.
#include <string>
#include <string_view>
#include <vector>

#include "base/environment.h"
#include "feed/refresh_state.h"

namespace korvo {

struct FeedItem {
  std::string title;
  std::string link;
  std::string description;
  std::string pubDate;
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
};

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

  // A channel field by its name ("title", "link", ...); empty without data.
  const std::string& field(std::string_view name) const;
  // A field of item `index` by its name ("itemtitle", ...).
  const std::string& itemField(std::string_view name, int index) const;

  // The text every lookup that finds nothing yields.
  static const std::string& emptyText();

  // Records a failure: errorText becomes message; the log gets "Error: " +
  // message, then the URL in brackets (as urlForLog shows it) when there is one.
  void setError(std::string message);
  void clearChannel();
  void addItem(const FeedItem& item) { channel.items.push_back(item); }

  const Environment& env() const { return *env_; }

 private:
  const Environment* env_;
};

}  // namespace korvo
