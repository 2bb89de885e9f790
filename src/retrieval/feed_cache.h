#pragma once
// The feeds of the process, one per distinct URL (compared byte for byte).
// References handed out stay valid until clear().
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "base/environment.h"
#include "feed/feed.h"

namespace korvo {

// A feed that one reader found for its URL, kept so that the next lookup
// of the same URL needs no search while the cache that found it has not
// been emptied.
class FeedMemo {
 private:
  friend class FeedCache;
  Feed* feed_ = nullptr;
  std::weak_ptr<const void> epoch_;
};

class FeedCache {
 public:
  // env must outlive the cache; every feed made here uses it.
  explicit FeedCache(const Environment& env) : env_(env), epoch_(std::make_shared<char>()) {}
  FeedCache(const FeedCache&) = delete;
  FeedCache& operator=(const FeedCache&) = delete;

  // Stores a new, empty feed for url unless one exists.
  void addUrl(const std::string& url);
  // The feed for url, stored first when there is none.
  Feed& getOrCreate(const std::string& url);
  // The same, answered from memo when this cache filled it since its last
  // clear(); memo is filled otherwise. A memo serves one URL only: replace
  // it with a new one when the URL changes.
  Feed& getOrCreate(const std::string& url, FeedMemo& memo);
  // The feed for url, or null.
  Feed* find(std::string_view url);
  void clear() {
    epoch_ = std::make_shared<char>();
    feeds_.clear();
  }
  std::size_t size() const { return feeds_.size(); }
  const Environment& env() const { return env_; }

 private:
  const Environment& env_;
  std::map<std::string, Feed, std::less<>> feeds_;
  // Replaced when the cache is emptied, so no memo filled before matches.
  // A memo holds it weakly, which keeps the identity from being reused.
  std::shared_ptr<const void> epoch_;
};

}  // namespace korvo
