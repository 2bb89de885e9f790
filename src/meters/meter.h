#pragma once
// One host meter: its settings, the URL its news site resolves to, and the
// texts it shows. Text reads refresh the meter's feed first when it is due.
#include <string>
#include <string_view>

#include "meters/item_view.h"
#include "meters/meter_settings.h"
#include "meters/plugin_settings.h"
#include "retrieval/background_downloads.h"
#include "retrieval/feed_cache.h"
#include "text/feed_date.h"
#include "text/tooltip_marker.h"

namespace korvo {

// What a meter reads and uses besides its own fields. All must outlive
// the calls that are given them.
struct MeterEnv {
  FeedCache* cache = nullptr;
  const PluginSettings* globals = nullptr;
  // Empty when the link was handed on; otherwise why it was not. Null:
  // clicks open nothing.
  std::string (*openLink)(const std::string& link) = nullptr;
  // The downloads of cache's feeds; null: each due feed is downloaded on
  // the calling thread.
  BackgroundDownloads* downloads = nullptr;
};

class Meter {
 public:
  explicit Meter(int serial) : serial_(serial) {}

  int serial() const { return serial_; }
  const std::string& feedUrl() const { return feedUrl_; }
  MeterSettings settings;

  void loadSettings(const MeterEnv& env, const std::string& file, const std::string& section);
  void saveSettings(const MeterEnv& env, const std::string& file, const std::string& section) const;
  // Sets feedUrl from NewsSite through the NewsSites section of the
  // plug-in's own INI file, and registers a usable URL with the cache. A
  // name missing there, or an address refused, is logged and kept as the
  // meter's site error.
  void resolveSite(const MeterEnv& env);
  // Why the meter has no feed ("No news site named 'X' in Korvo.ini.",
  // "Address refused: ..."); empty when it has one or has no site.
  const std::string& siteError() const { return siteError_; }

  // A channel field of the meter's feed, or of one of its items; the
  // feed's error text (or, without a feed, the site error) in place of an
  // empty field when ShowError is on. Items are numbered as the meter shows
  // them (Include, Exclude, MaxAge, Order); a new item's title has MarkNew
  // before it, and dates are shown as DateFormat says.
  // The reference is valid until the feed's next refresh or the meter's
  // next text read.
  const std::string& channelText(const MeterEnv& env, std::string_view name);
  const std::string& itemText(const MeterEnv& env, std::string_view name, int index);

  // The text the tooltip shows, when ToolTip is 1..6; null otherwise.
  const std::string* tooltipSource(const MeterEnv& env);
  // Appends "%tt" and the tooltip source to out (a std::string or anything
  // else with append(std::string_view)) when there is a tooltip; true when
  // it did. The one place a tooltip part is made.
  template <typename Out>
  bool appendTooltip(const MeterEnv& env, Out& out) {
    const std::string* tip = tooltipSource(env);
    if (!tip) return false;
    out.append(kTooltipMarker);
    out.append(std::string_view(*tip));
    return true;
  }
  // text, then "%tt" and the tooltip source when there is a tooltip.
  std::string withTooltip(const MeterEnv& env, std::string text);
  // The channel title and the titles of the first `count` items, one per
  // line (empty titles add no line), tooltip attached. With ShowError on,
  // an error text takes only the first line's place (the title's, when it
  // is empty); items never show it. Stops early once
  // more items could not change the first `visibleBytes` bytes of the
  // result, or of the part after its first line feed when `afterFirstLine`.
  std::string titleList(const MeterEnv& env, int count, std::size_t visibleBytes,
                        bool afterFirstLine);
  // Opens the chosen link when it is a plain web link, and logs the outcome
  // as "Click: " and what was opened or why nothing was.
  void click(const MeterEnv& env);

 private:
  // This meter's cleanup, in the plug-in's code page.
  CleanupOptions cleanupFor(const MeterEnv& env) const;
  Feed* refreshedFeed(const MeterEnv& env);
  // True when items show as the feed has them: every item, in its order,
  // titles and dates as written.
  bool showsItemsAsWritten() const {
    return ItemView::showsAll(settings) && settings.MarkNew.empty() &&
           settings.DateFormat.empty();
  }
  // The channel cleaned with cleanup, with the view made current for it;
  // null while the feed has no data.
  const Channel* viewedChannel(const Feed& feed, const CleanupOptions& cleanup);
  // Field `name` of the item shown at position, as the meter shows it.
  const std::string& shownItemField(const Feed& feed, std::string_view name, int position,
                                    const CleanupOptions& cleanup);
  // written as DateFormat shows it.
  const std::string& shownDate(const Feed& feed, const std::string& written);
  const std::string& orError(const MeterEnv& env, const Feed& feed, const std::string& text) const;
  // The site error when ShowError is on, else the empty text.
  const std::string& noFeedText(const MeterEnv& env) const;
  void refuseSite(const MeterEnv& env, std::string why, bool nameTheSite);
  std::string clickOutcome(const MeterEnv& env);

  int serial_;
  std::string feedUrl_;
  std::string siteError_;
  FeedMemo feed_;  // of feedUrl_
  ItemView view_;
  std::string shown_;  // a text made for showing: a marked title, a date
  std::string dateSetting_;  // what dateFormat_ was read from
  DateFormat dateFormat_;
};

// True for a link that may be handed to the browser: "http://" or
// "https://" (any letter case), at most 2048 bytes, and no blank,
// quotation mark or control character.
bool isWebLink(std::string_view link);

}  // namespace korvo
