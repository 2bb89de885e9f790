#pragma once
// The items a meter shows of its feed: those that Include, Exclude and
// MaxAge leave, in the order Order asks for, as numbers of the channel's
// items. Worked out again only when the channel is refilled, the meter's
// settings change, or the clock passes the moment an item grows too old
// (or goes back); reading it costs no allocation.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "meters/meter_settings.h"

namespace korvo {

class ItemView {
 public:
  // True when settings show every item in the feed's order, so that the
  // items keep their own numbers and no view is needed.
  static bool showsAll(const MeterSettings& settings) {
    return settings.Include.empty() && settings.Exclude.empty() && settings.MaxAge <= 0 &&
           !newestFirst(settings);
  }
  static bool newestFirst(const MeterSettings& settings);

  // Brings the view up to date for channel, the meter's feed cleaned with
  // cleanup, at the clock reading now.
  void update(const Channel& channel, const MeterSettings& settings,
              const CleanupOptions& cleanup, std::uint32_t now);
  // The same with the settings of the last update: for a caller that knows
  // they have not changed since, and so need not compare them.
  void follow(const Channel& channel, std::uint32_t now);
  // The number in the channel's items of the item shown at position; -1
  // when position is negative or past the last item shown.
  int itemAt(int position) const {
    return position >= 0 && static_cast<std::size_t>(position) < items_.size()
               ? items_[static_cast<std::size_t>(position)]
               : -1;
  }
  std::size_t size() const { return items_.size(); }

 private:
  bool hasSettings(const MeterSettings& settings, const CleanupOptions& cleanup) const;
  bool isCurrent(const Channel& channel, std::uint32_t now) const;
  void rebuild(const Channel& channel, std::uint32_t now);

  std::vector<int> items_;
  // What the view was worked out from.
  bool built_ = false;
  std::weak_ptr<const char> fill_;
  const FeedItem* first_ = nullptr;
  std::size_t count_ = 0;
  std::string include_;
  std::string exclude_;
  int maxAge_ = 0;
  bool newest_ = false;
  CleanupOptions cleanup_;
  std::uint32_t builtAt_ = 0;
  // The first moment, after builtAt_, at which an item shown is too old.
  std::int64_t expiresAt_ = 0;
};

}  // namespace korvo
