#pragma once
// The feeds of the process, one per distinct URL (compared byte for byte).
// References handed out stay valid until clear().
#include <map>
#include <string>
#include <string_view>

#include "base/environment.h"
#include "feed/feed.h"

namespace korvo {

class FeedCache {
 public:
  // env must outlive the cache; every feed made here uses it.
  explicit FeedCache(const Environment& env) : env_(env) {}

  // Stores a new, empty feed for url unless one exists.
  void addUrl(const std::string& url);
  // The feed for url, stored first when there is none.
  Feed& getOrCreate(const std::string& url);
  // The feed for url, or null.
  Feed* find(std::string_view url);
  void clear() { feeds_.clear(); }
  std::size_t size() const { return feeds_.size(); }

 private:
  const Environment& env_;
  std::map<std::string, Feed, std::less<>> feeds_;
};

}  // namespace korvo
