#include "retrieval/feed_cache.h"

namespace korvo {

void FeedCache::addUrl(const std::string& url) { getOrCreate(url); }

Feed& FeedCache::getOrCreate(const std::string& url) {
  auto it = feeds_.find(url);
  if (it == feeds_.end()) it = feeds_.emplace(url, Feed(url, env_)).first;
  return it->second;
}

Feed& FeedCache::getOrCreate(const std::string& url, FeedMemo& memo) {
  const bool filledHere =
      memo.feed_ && !memo.epoch_.owner_before(epoch_) && !epoch_.owner_before(memo.epoch_);
  if (!filledHere) {
    memo.feed_ = &getOrCreate(url);
    memo.epoch_ = epoch_;
  }
  return *memo.feed_;
}

Feed* FeedCache::find(std::string_view url) {
  auto it = feeds_.find(url);
  return it == feeds_.end() ? nullptr : &it->second;
}

}  // namespace korvo
