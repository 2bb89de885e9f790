#include "feed/feed.h"

#include <iterator>
#include <new>
#include <unordered_set>
#include <utility>

#include "text/tooltip_marker.h"

namespace korvo {
namespace {

struct ChannelName {
  std::string_view name;
  std::string Channel::*field;
};

constexpr ChannelName kChannelNames[] = {
    {"title", &Channel::title},
    {"link", &Channel::link},
    {"description", &Channel::description},
    {"language", &Channel::language},
    {"copyright", &Channel::copyright},
    {"lastBuildDate", &Channel::lastBuildDate},
    {"managingEditor", &Channel::managingEditor},
    {"rating", &Channel::rating},
    {"pubDate", &Channel::pubDate},
};

struct ItemName {
  std::string_view name;
  std::string FeedItem::*field;
};

constexpr ItemName kItemNames[] = {
    {"itemtitle", &FeedItem::title},
    {"itemlink", &FeedItem::link},
    {"itemdescription", &FeedItem::description},
    {"itempubDate", &FeedItem::pubDate},
};

}  // namespace

std::string_view itemIdentity(const FeedItem& item) {
  if (!item.guid.empty()) return item.guid;
  if (!item.link.empty()) return item.link;
  return item.title;
}

void markNewItems(Channel& now, const Channel& before) {
  if (before.items.empty()) {
    for (FeedItem& item : now.items) item.isNew = false;
    return;
  }
  std::unordered_set<std::string_view> known;
  known.reserve(before.items.size());
  for (const FeedItem& item : before.items) known.insert(itemIdentity(item));
  for (FeedItem& item : now.items) item.isNew = known.count(itemIdentity(item)) == 0;
}

std::vector<std::string*> textsOf(Channel& channel) {
  std::vector<std::string*> texts;
  texts.reserve(std::size(kChannelNames) + std::size(kItemNames) * channel.items.size());
  for (const auto& entry : kChannelNames) texts.push_back(&(channel.*entry.field));
  for (FeedItem& item : channel.items)
    for (const auto& entry : kItemNames) texts.push_back(&(item.*entry.field));
  return texts;
}

void breakTooltipMarkers(Channel& channel) {
  for (const auto& entry : kChannelNames) breakTooltipMarker(channel.*entry.field);
  for (FeedItem& item : channel.items)
    for (const auto& entry : kItemNames) breakTooltipMarker(item.*entry.field);
}

Feed::Feed(std::string feedUrl, const Environment& env)
    : state(env.clock->now()), url(std::move(feedUrl)), env_(&env) {}

const Channel* Feed::cleanedChannel(const CleanupOptions& options) const {
  if (options == cleanup) return &channel;
  for (const CleanedChannel& variant : variants)
    if (variant.options == options) return &variant.channel;
  return nullptr;
}

const std::string& Feed::field(std::string_view name) const { return field(name, cleanup); }

const std::string& Feed::itemField(std::string_view name, int index) const {
  return itemField(name, index, cleanup);
}

const std::string& Feed::field(std::string_view name, const CleanupOptions& options) const {
  const Channel* c = state.hasData ? cleanedChannel(options) : nullptr;
  if (!c) return Feed::emptyText();
  for (const auto& entry : kChannelNames)
    if (entry.name == name) return c->*entry.field;
  return Feed::emptyText();
}

const std::string& Feed::itemField(std::string_view name, int index,
                                   const CleanupOptions& options) const {
  const Channel* c = state.hasData ? cleanedChannel(options) : nullptr;
  if (!c || index < 0 || static_cast<std::size_t>(index) >= c->items.size())
    return Feed::emptyText();
  for (const auto& entry : kItemNames)
    if (entry.name == name) return c->items[static_cast<std::size_t>(index)].*entry.field;
  return Feed::emptyText();
}

std::size_t Feed::itemCount(const CleanupOptions& options) const {
  const Channel* c = state.hasData ? cleanedChannel(options) : nullptr;
  return c ? c->items.size() : 0;
}

const std::string& Feed::errorFor(const CleanupOptions& options) const {
  if (errorText.empty() && options != cleanup)
    for (const CleanedChannel& variant : variants)
      if (variant.options == options) return variant.errorText;
  return errorText;
}

const std::string& Feed::emptyText() {
  // Never destroyed (and never on the heap): lookups may run while the
  // process is shutting down, after static destructors.
  alignas(std::string) static unsigned char storage[sizeof(std::string)];
  static const std::string* const empty = new (storage) std::string();
  return *empty;
}

void Feed::setError(std::string message) {
  errorText = std::move(message);
  breakTooltipMarker(errorText);
  std::string line = "Error: " + errorText;
  if (!url.empty()) line += " (" + urlForLog(url) + ")";
  env_->writeLine(line);
}

void Feed::clearChannel() {
  std::vector<FeedItem>().swap(channel.items);
  channel = Channel();
  channel.fill = std::make_shared<char>();
}

void Feed::keepVariant(CleanedChannel variant) {
  // A variant is the same document cleaned otherwise: the same items in
  // the same order.
  std::vector<FeedItem>& items = variant.channel.items;
  for (std::size_t i = 0; i < items.size(); ++i)
    items[i].isNew = i < channel.items.size() && channel.items[i].isNew;
  variants.push_back(std::move(variant));
}

void Feed::clearNewMarks() {
  for (FeedItem& item : channel.items) item.isNew = false;
  for (CleanedChannel& variant : variants)
    for (FeedItem& item : variant.channel.items) item.isNew = false;
}

void Feed::clearRaw() {
  std::vector<CleanedChannel>().swap(variants);
  raw = RawDocument();
}

}  // namespace korvo
