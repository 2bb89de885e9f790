#include "feed/feed.h"

#include <new>
#include <utility>

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

Feed::Feed(std::string feedUrl, const Environment& env)
    : state(env.clock->now()), url(std::move(feedUrl)), env_(&env) {}

const std::string& Feed::field(std::string_view name) const {
  if (!state.hasData) return Feed::emptyText();
  for (const auto& entry : kChannelNames)
    if (entry.name == name) return channel.*entry.field;
  return Feed::emptyText();
}

const std::string& Feed::itemField(std::string_view name, int index) const {
  if (!state.hasData || index < 0 || static_cast<std::size_t>(index) >= channel.items.size())
    return Feed::emptyText();
  for (const auto& entry : kItemNames)
    if (entry.name == name) return channel.items[static_cast<std::size_t>(index)].*entry.field;
  return Feed::emptyText();
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
  std::string line = "Error: " + errorText;
  if (!url.empty()) line += " (" + urlForLog(url) + ")";
  env_->writeLine(line);
}

void Feed::clearChannel() {
  std::vector<FeedItem>().swap(channel.items);
  channel = Channel();
}

}  // namespace korvo
