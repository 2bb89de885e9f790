#include "base/moved_feeds.h"

namespace korvo {

bool MovedFeeds::remember(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [at, added] = moves_.try_emplace(from, to);
  if (added) return true;
  if (at->second == to) return false;
  at->second = to;
  return true;
}

std::string MovedFeeds::resolve(const std::string& url, int maxSteps) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string current = url;
  for (int step = 0; step < maxSteps; ++step) {
    const auto at = moves_.find(current);
    if (at == moves_.end()) break;
    current = at->second;
  }
  return current;
}

}  // namespace korvo
