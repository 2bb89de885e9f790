#pragma once
// The addresses feeds have moved to for good (a permanent redirect), kept
// for as long as the plug-in is loaded so that the next download goes
// straight to the new address. Thread-safe.
#include <map>
#include <mutex>
#include <string>

namespace korvo {

class MovedFeeds {
 public:
  // Records that from moved to to; true when this was not known yet.
  bool remember(const std::string& from, const std::string& to);
  // Where url has moved to, following up to maxSteps recorded moves; url
  // itself when it has not moved.
  std::string resolve(const std::string& url, int maxSteps) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> moves_;
};

}  // namespace korvo
