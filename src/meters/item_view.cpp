#include "meters/item_view.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "meters/word_list.h"
#include "platform/ascii.h"
#include "text/feed_date.h"

namespace korvo {
namespace {

constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

bool sameFill(const std::weak_ptr<const char>& kept, const std::shared_ptr<const char>& now) {
  return !kept.owner_before(now) && !now.owner_before(kept);
}

}  // namespace

bool ItemView::newestFirst(const MeterSettings& settings) {
  return ascii::equalsIgnoringCase(settings.Order, "newest");
}

bool ItemView::hasSettings(const MeterSettings& settings, const CleanupOptions& cleanup) const {
  return built_ && include_ == settings.Include && exclude_ == settings.Exclude &&
         maxAge_ == settings.MaxAge && newest_ == newestFirst(settings) && cleanup_ == cleanup;
}

bool ItemView::isCurrent(const Channel& channel, std::uint32_t now) const {
  if (!built_ || !sameFill(fill_, channel.fill) || first_ != channel.items.data() ||
      count_ != channel.items.size())
    return false;
  // A clock set back may bring back items that had grown too old.
  return maxAge_ <= 0 || (now >= builtAt_ && now < expiresAt_);
}

void ItemView::update(const Channel& channel, const MeterSettings& settings,
                      const CleanupOptions& cleanup, std::uint32_t now) {
  if (hasSettings(settings, cleanup)) return follow(channel, now);
  built_ = false;
  include_ = settings.Include;
  exclude_ = settings.Exclude;
  maxAge_ = settings.MaxAge;
  newest_ = newestFirst(settings);
  cleanup_ = cleanup;
  follow(channel, now);
}

void ItemView::follow(const Channel& channel, std::uint32_t now) {
  if (isCurrent(channel, now)) return;
  built_ = false;
  fill_ = channel.fill;
  first_ = channel.items.data();
  count_ = channel.items.size();
  rebuild(channel, now);
  built_ = true;
}

void ItemView::rebuild(const Channel& channel, std::uint32_t now) {
  const LetterCase letters = letterCaseOf(cleanup_);
  const WordList include(include_, letters);
  const WordList exclude(exclude_, letters);
  const bool needDates = maxAge_ > 0 || newest_;
  const std::int64_t maxAgeSeconds = static_cast<std::int64_t>(maxAge_) * kSecondsPerHour;
  builtAt_ = now;
  expiresAt_ = kNever;
  items_.clear();
  // Dates of the items shown, beside items_, for the order.
  std::vector<std::optional<std::int64_t>> dates;
  const std::vector<FeedItem>& all = channel.items;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const FeedItem& item = all[i];
    if (!include.empty() && !include.foundIn(item.title) && !include.foundIn(item.description))
      continue;
    if (exclude.foundIn(item.title) || exclude.foundIn(item.description)) continue;
    std::optional<std::int64_t> date;
    if (needDates) date = readFeedDate(item.pubDate);
    if (maxAge_ > 0 && date) {
      const std::int64_t tooOld = *date + maxAgeSeconds + 1;
      if (now >= tooOld) continue;
      expiresAt_ = std::min(expiresAt_, tooOld);
    }
    items_.push_back(static_cast<int>(i));
    if (newest_) dates.push_back(date);
  }
  if (!newest_) return;
  // Dated items newest first, then the undated ones; ties keep the feed's
  // order.
  std::vector<std::size_t> order(items_.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return dates[a] && (!dates[b] || *dates[a] > *dates[b]);
  });
  std::vector<int> sorted;
  sorted.reserve(order.size());
  for (std::size_t i : order) sorted.push_back(items_[i]);
  items_.swap(sorted);
}

}  // namespace korvo
