#include "feed_json.h"

#include <cstdio>
#include <initializer_list>
#include <utility>

namespace korvo::peers {
namespace {

using Field = std::pair<const char*, const std::string*>;

std::string object(std::initializer_list<Field> fields) {
  std::string out = "{";
  for (const Field& field : fields) {
    if (out.size() > 1) out += ", ";
    out += jsonString(field.first);
    out += ": ";
    out += jsonString(*field.second);
  }
  return out + "}";
}

}  // namespace

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string channelJson(const Channel& channel) {
  std::string out = "{\"channel\": ";
  out += object({{"title", &channel.title},
                 {"link", &channel.link},
                 {"description", &channel.description},
                 {"language", &channel.language},
                 {"copyright", &channel.copyright},
                 {"managingEditor", &channel.managingEditor},
                 {"rating", &channel.rating},
                 {"lastBuildDate", &channel.lastBuildDate},
                 {"pubDate", &channel.pubDate}});
  out += ", \"items\": [";
  bool first = true;
  for (const FeedItem& item : channel.items) {
    if (!first) out += ", ";
    first = false;
    out += object({{"title", &item.title},
                   {"link", &item.link},
                   {"description", &item.description},
                   {"pubDate", &item.pubDate},
                   {"guid", &item.guid}});
  }
  return out + "]}";
}

}  // namespace korvo::peers
