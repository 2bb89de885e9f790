#pragma once
// A parsed feed's texts as one line of JSON: the channel's nine fields and
// each item's title, link, description, date and identity.
#include <string>

#include "feed/feed.h"

namespace korvo::peers {

// A JSON string literal of text: quotes, backslashes and control
// characters escaped, every other byte as it is (the texts are UTF-8).
std::string jsonString(const std::string& text);

// {"channel": {...}, "items": [{...}, ...]} of channel.
std::string channelJson(const Channel& channel);

}  // namespace korvo::peers
