#include "meters/meter.h"

#include <array>

#include "base/limits.h"
#include "platform/ascii.h"
#include "platform/ini_file.h"
#include "retrieval/feed_refresh.h"
#include "retrieval/url.h"

namespace korvo {
namespace {

// A "yes"/"no" setting, or the current value when the key is missing or empty.
bool readFlag(const std::string& file, const std::string& section, const char* key, bool current) {
  return readSwitch(file, section.c_str(), key, current);
}

// A link or address as one log line shows it: no user name and password,
// no control character, at most kShownLinkBytes bytes.
constexpr std::size_t kShownLinkBytes = 200;
std::string shownLink(std::string_view link) {
  std::string shown = urlForLog(link.substr(0, kShownLinkBytes));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  if (link.size() > kShownLinkBytes) shown += "...";
  return shown;
}

void refreshFeed(const MeterEnv& env, Feed& feed, int interval, const CleanupOptions& options) {
  if (env.downloads)
    env.downloads->refresh(feed, interval, options);
  else
    refresh(feed, interval, options);
}

bool hasKey(const std::string& file, const std::string& section, const char* key) {
  // No value a user writes starts with these two control characters; the
  // default is not a blank, which Windows would strip.
  constexpr std::string_view kAbsent = "\x01\x02";
  return ini::readString(file, section, key, kAbsent, kAbsent.size() + 1) != kAbsent;
}

// The text keys of the item view, with their fields (const for const
// settings).
template <typename Settings>
auto viewTexts(Settings& s) {
  using Text = decltype(&s.DateFormat);
  return std::array<std::pair<const char*, Text>, 5>{{{"DateFormat", &s.DateFormat},
           {"Include", &s.Include},
           {"Exclude", &s.Exclude},
           {"Order", &s.Order},
           {"MarkNew", &s.MarkNew}}};
}

// value as written in the INI file so that it reads back whole: readers
// trim the blanks around a value and drop a pair of quotes around it (the
// Windows one single quotes too), so a value with either is put in double
// quotes ("\xBB " for MarkNew).
std::string quotedForIni(const std::string& value) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  const bool quoted = value.size() >= 2 && value.front() == value.back() &&
                      (value.front() == '"' || value.front() == '\'');
  if (value.empty() || (!blank(value.front()) && !blank(value.back()) && !quoted)) return value;
  return '"' + value + '"';
}

}  // namespace

void Meter::loadSettings(const MeterEnv& env, const std::string& file, const std::string& section) {
  MeterSettings& s = settings;
  std::string site = ini::readString(file, section, "NewsSite", "", limits::kIniTextBuffer);
  if (!site.empty()) s.NewsSite = std::move(site);
  int interval = ini::readInt(file, section, "UpdateIntervall", -1);
  if (interval > 0) s.UpdateIntervall = interval;
  s.FilterUnicode = readFlag(file, section, "FilterUnicode", s.FilterUnicode);
  s.FilterHtml = readFlag(file, section, "FilterHtml", s.FilterHtml);
  s.ReplaceBr = readFlag(file, section, "ReplaceBr", s.ReplaceBr);
  for (auto [key, field] : {std::pair{"ToolTip", &s.ToolTip},
                            {"ToolTipItem", &s.ToolTipItem},
                            {"InputClick", &s.InputClick},
                            {"InputClickItem", &s.InputClickItem}}) {
    int value = ini::readInt(file, section, key, -1);
    if (value >= 0) *field = value;
  }
  for (auto [key, field] : viewTexts(s)) {
    if (hasKey(file, section, key))
      *field = ini::readString(file, section, key, "", limits::kIniTextBuffer);
  }
  int maxAge = ini::readInt(file, section, "MaxAge", -1);
  if (maxAge >= 0) s.MaxAge = maxAge;
  resolveSite(env);
}

void Meter::saveSettings(const MeterEnv&, const std::string& file,
                         const std::string& section) const {
  const MeterSettings& s = settings;
  ini::writeString(file, section, "NewsSite", s.NewsSite);
  ini::writeString(file, section, "UpdateIntervall", std::to_string(s.UpdateIntervall));
  ini::writeString(file, section, "FilterUnicode", yesNo(s.FilterUnicode));
  ini::writeString(file, section, "FilterHtml", yesNo(s.FilterHtml));
  ini::writeString(file, section, "ReplaceBr", yesNo(s.ReplaceBr));
  ini::writeString(file, section, "ToolTip", std::to_string(s.ToolTip));
  ini::writeString(file, section, "ToolTipItem", std::to_string(s.ToolTipItem));
  ini::writeString(file, section, "InputClick", std::to_string(s.InputClick));
  ini::writeString(file, section, "InputClickItem", std::to_string(s.InputClickItem));
  // These keys are written once they differ from their defaults or are in
  // the file, so a meter that never used them keeps its section as it was.
  const MeterSettings defaults;
  const auto ownTexts = viewTexts(s);
  const auto standard = viewTexts(defaults);
  for (std::size_t i = 0; i < ownTexts.size(); ++i) {
    const char* key = ownTexts[i].first;
    if (*ownTexts[i].second != *standard[i].second || hasKey(file, section, key))
      ini::writeString(file, section, key, quotedForIni(*ownTexts[i].second));
  }
  if (s.MaxAge != defaults.MaxAge || hasKey(file, section, "MaxAge"))
    ini::writeString(file, section, "MaxAge", std::to_string(s.MaxAge));
}

void Meter::resolveSite(const MeterEnv& env) {
  if (settings.NewsSite.empty()) {
    siteError_.clear();
    return;
  }
  std::string url = ini::readString(env.globals->iniPath, "NewsSites", settings.NewsSite, "none",
                                    limits::kIniTextBuffer);
  if (url.empty()) return refuseSite(env, "Address refused: (empty)", true);
  feed_ = FeedMemo();
  if (!isValidUrl(url)) {
    feedUrl_.clear();
    // "none" is the value read for a missing name, unless it is written there.
    if (url == "none" &&
        ini::readString(env.globals->iniPath, "NewsSites", settings.NewsSite, "", 8).empty())
      return refuseSite(env, "No news site named '" + settings.NewsSite + "' in Korvo.ini.", false);
    return refuseSite(env, "Address refused: " + shownLink(url), true);
  }
  siteError_.clear();
  feedUrl_ = std::move(url);
  env.cache->addUrl(feedUrl_);
}

void Meter::refuseSite(const MeterEnv& env, std::string why, bool nameTheSite) {
  siteError_ = std::move(why);
  std::string line = "Error: " + siteError_;
  if (nameTheSite) line += " (news site '" + settings.NewsSite + "')";
  env.cache->env().writeLine(line);
}

CleanupOptions Meter::cleanupFor(const MeterEnv& env) const {
  return settings.cleanup(env.globals->codePage);
}

Feed* Meter::refreshedFeed(const MeterEnv& env) {
  if (feedUrl_.empty()) return nullptr;
  Feed& feed = env.cache->getOrCreate(feedUrl_, feed_);
  refreshFeed(env, feed, settings.UpdateIntervall, cleanupFor(env));
  return &feed;
}

const std::string& Meter::orError(const MeterEnv& env, const Feed& feed,
                                  const std::string& text) const {
  if (!text.empty() || !env.globals->ShowError) return text;
  const std::string& error = feed.errorFor(cleanupFor(env));
  // Neither data nor an error yet: the first download is still running.
  if (error.empty() && !feed.state.hasData) return env.globals->loadingText;
  return error;
}

const std::string& Meter::noFeedText(const MeterEnv& env) const {
  return env.globals->ShowError ? siteError_ : Feed::emptyText();
}

const std::string& Meter::channelText(const MeterEnv& env, std::string_view name) {
  Feed* feed = refreshedFeed(env);
  if (!feed) return noFeedText(env);
  const std::string& text = feed->field(name, cleanupFor(env));
  if (!settings.DateFormat.empty() && (name == "pubDate" || name == "lastBuildDate"))
    return orError(env, *feed, shownDate(*feed, text));
  return orError(env, *feed, text);
}

const std::string& Meter::itemText(const MeterEnv& env, std::string_view name, int index) {
  Feed* feed = refreshedFeed(env);
  if (!feed) return noFeedText(env);
  const CleanupOptions cleanup = cleanupFor(env);
  if (showsItemsAsWritten()) return orError(env, *feed, feed->itemField(name, index, cleanup));
  return orError(env, *feed, shownItemField(*feed, name, index, cleanup));
}

const Channel* Meter::viewedChannel(const Feed& feed, const CleanupOptions& cleanup) {
  const Channel* channel = feed.state.hasData ? feed.cleanedChannel(cleanup) : nullptr;
  if (channel && !ItemView::showsAll(settings))
    view_.update(*channel, settings, cleanup, feed.env().clock->now());
  return channel;
}

const std::string& Meter::shownItemField(const Feed& feed, std::string_view name, int position,
                                         const CleanupOptions& cleanup) {
  const Channel* channel = viewedChannel(feed, cleanup);
  if (!channel) return Feed::emptyText();
  const int index = ItemView::showsAll(settings) ? position : view_.itemAt(position);
  const std::string& text = feed.itemField(name, index, cleanup);
  if (text.empty()) return text;
  if (!settings.MarkNew.empty() && name == "itemtitle" &&
      channel->items[static_cast<std::size_t>(index)].isNew) {
    shown_.assign(settings.MarkNew);
    shown_ += text;
    return shown_;
  }
  if (!settings.DateFormat.empty() && name == "itempubDate") return shownDate(feed, text);
  return text;
}

const std::string& Meter::shownDate(const Feed& feed, const std::string& written) {
  if (written.empty()) return written;
  if (dateSetting_ != settings.DateFormat) {
    dateFormat_ = DateFormat::fromSetting(settings.DateFormat);
    dateSetting_ = settings.DateFormat;
  }
  shown_ = formatFeedDate(written, dateFormat_, *feed.env().clock);
  return shown_;
}

const std::string* Meter::tooltipSource(const MeterEnv& env) {
  switch (settings.ToolTip) {
    case 1:
      return &channelText(env, "title");
    case 2:
      return &channelText(env, "description");
    case 3:
      return &channelText(env, "link");
    case 4:
      return &itemText(env, "itemtitle", settings.ToolTipItem);
    case 5:
      return &itemText(env, "itemdescription", settings.ToolTipItem);
    case 6:
      return &itemText(env, "itemlink", settings.ToolTipItem);
    default:
      return nullptr;
  }
}

std::string Meter::withTooltip(const MeterEnv& env, std::string text) {
  appendTooltip(env, text);
  return text;
}

std::string Meter::titleList(const MeterEnv& env, int count, std::size_t visibleBytes,
                             bool afterFirstLine) {
  std::string list = channelText(env, "title");
  std::size_t firstLf = list.find('\n');
  // Each item is itemText(env, "itemtitle", i) with its own refresh
  // request; the feed they all read is looked up once, since a refresh
  // never moves it.
  Feed* feed = feedUrl_.empty() ? nullptr : &env.cache->getOrCreate(feedUrl_, feed_);
  const CleanupOptions cleanup = cleanupFor(env);
  // The error text, if any, is the first line's alone: an item without a
  // title adds no line, so a failure shows once, not once per item.
  const bool asWritten = showsItemsAsWritten();
  const bool allItems = ItemView::showsAll(settings);
  const std::uint32_t now = feed ? feed->env().clock->now() : 0;
  // The settings stay as they are while the list is made: the view is
  // checked against them once, and after that only follows the feed.
  bool viewChecked = false;
  for (int i = 0; feed && i < count; ++i) {
    refreshFeed(env, *feed, settings.UpdateIntervall, cleanup);
    std::string_view mark;
    std::string_view title;
    std::size_t shown = 0;
    if (asWritten) {
      title = feed->itemField("itemtitle", i, cleanup);
      shown = feed->itemCount(cleanup);
    } else if (const Channel* channel =
                   feed->state.hasData ? feed->cleanedChannel(cleanup) : nullptr) {
      int index = i;
      shown = channel->items.size();
      if (!allItems) {
        if (viewChecked) {
          view_.follow(*channel, now);
        } else {
          view_.update(*channel, settings, cleanup, now);
          viewChecked = true;
        }
        index = view_.itemAt(i);
        shown = view_.size();
      }
      if (index >= 0 && static_cast<std::size_t>(index) < channel->items.size()) {
        const FeedItem& item = channel->items[static_cast<std::size_t>(index)];
        title = item.title;
        if (item.isNew) mark = settings.MarkNew;
      }
    }
    if (!title.empty()) {
      if (firstLf == std::string::npos) firstLf = list.size();
      list += '\n';
      list += mark;
      list += title;
    }
    // Past the last item no further line shows; past the visible bytes
    // nothing more shows at all.
    if (static_cast<std::size_t>(i) + 1 >= shown) break;
    std::size_t start = afterFirstLine && firstLf != std::string::npos ? firstLf + 1 : 0;
    if (list.size() - start > visibleBytes) break;
  }
  return withTooltip(env, std::move(list));
}

bool isWebLink(std::string_view link) {
  if (link.size() > limits::kMaxClickLinkBytes) return false;
  if (!ascii::startsWithIgnoringCase(link, "http://") &&
      !ascii::startsWithIgnoringCase(link, "https://"))
    return false;
  for (unsigned char c : link)
    if (c <= 0x20 || c == 0x7F || c == '"') return false;
  return true;
}

void Meter::click(const MeterEnv& env) {
  const std::string outcome = clickOutcome(env);
  env.cache->env().writeLine("Click: " + outcome);
}

std::string Meter::clickOutcome(const MeterEnv& env) {
  const std::string kNothing = "nothing opened: ";
  if (settings.NewsSite.empty()) return kNothing + "the meter has no news site";
  const std::string* link = nullptr;
  if (settings.InputClick == 1)
    link = &channelText(env, "link");
  else if (settings.InputClick == 2)
    link = &itemText(env, "itemlink", settings.InputClickItem);
  else
    return kNothing + "no click action (InputClick=" + std::to_string(settings.InputClick) + ")";
  if (feedUrl_.empty()) return kNothing + (siteError_.empty() ? "no feed" : siteError_);
  // With ShowError on, an empty link reads as the feed's error text.
  const Feed* feed = env.cache->find(feedUrl_);
  const std::string* error =
      feed != nullptr ? &feed->errorFor(cleanupFor(env)) : nullptr;
  if (link->empty() || link == error || link == &env.globals->loadingText) {
    const bool failed = error != nullptr && !error->empty();
    return kNothing + "no link" + (failed ? " (" + *error + ")" : "");
  }
  if (!isWebLink(*link)) return kNothing + "link refused: " + shownLink(*link);
  if (env.openLink == nullptr) return kNothing + "no way to open links";
  const std::string failure = env.openLink(*link);
  if (!failure.empty()) return kNothing + failure;
  return "opened " + shownLink(*link);
}

}  // namespace korvo
