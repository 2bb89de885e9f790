#include "feed/json_feed.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/limits.h"
#include "feed/charset_converter.h"
#include "feed/document_charset.h"
#include "feed/link_resolver.h"
#include "platform/ascii.h"
#include "platform/text_conversion.h"

namespace korvo {
namespace {

using Json = nlohmann::json;

bool startsWith(std::string_view text, std::string_view start) {
  return text.size() >= start.size() &&
         ascii::equalsIgnoringCase(text.substr(0, start.size()), start);
}

bool isJsonFeedVersion(std::string_view version) {
  return startsWith(version, "https://jsonfeed.org/version/") ||
         startsWith(version, "http://jsonfeed.org/version/");
}

// The members a JSON Feed reader looks at, in the objects that hold them.
enum class Key : unsigned char {
  Other,
  Version,
  Title,
  HomePageUrl,
  Description,
  Language,
  Author,
  Authors,
  Items,
  Name,
  Url,
  Id,
  ExternalUrl,
  ContentHtml,
  ContentText,
  Summary,
  DatePublished,
  DateModified
};

// What an object or array is within the feed.
enum class Role : unsigned char { Other, Root, Author, AuthorList, ItemList, Item };

struct NamedKey {
  std::string_view name;
  Key key;
};

constexpr NamedKey kRootKeys[] = {
    {"version", Key::Version},         {"title", Key::Title},       {"home_page_url", Key::HomePageUrl},
    {"description", Key::Description}, {"language", Key::Language}, {"author", Key::Author},
    {"authors", Key::Authors},         {"items", Key::Items}};
constexpr NamedKey kAuthorKeys[] = {{"name", Key::Name}, {"url", Key::Url}};
constexpr NamedKey kItemKeys[] = {
    {"id", Key::Id},
    {"url", Key::Url},
    {"external_url", Key::ExternalUrl},
    {"title", Key::Title},
    {"content_html", Key::ContentHtml},
    {"content_text", Key::ContentText},
    {"summary", Key::Summary},
    {"date_published", Key::DatePublished},
    {"date_modified", Key::DateModified}};

template <std::size_t N>
Key keyNamed(const NamedKey (&keys)[N], std::string_view name) {
  for (const NamedKey& k : keys)
    if (k.name == name) return k.key;
  return Key::Other;
}

// A member's text; a member of another type (or null) reads as missing.
struct Value {
  std::string text;
  bool present = false;
};

struct ItemValues {
  Value id, url, externalUrl, title, contentHtml, contentText, summary, datePublished,
      dateModified;
};

struct FeedValues {
  bool rootIsObject = false;
  Value version, title, homePageUrl, description, language;
  std::vector<std::string> author;   // of "author" (JSON Feed 1.0)
  std::vector<std::string> authors;  // of "authors" (1.1)
  bool itemsIsArray = false;
  std::vector<ItemValues> items;
};

// The SAX side of the parse: keeps only the members above, the way a tree
// would hold them (a later duplicate member replaces an earlier one), and
// bounds the nesting. The library's parser is itself a loop, not a
// recursion.
class FeedCollector {
 public:
  using number_integer_t = Json::number_integer_t;
  using number_unsigned_t = Json::number_unsigned_t;
  using number_float_t = Json::number_float_t;
  using string_t = Json::string_t;
  using binary_t = Json::binary_t;

  explicit FeedCollector(bool stopAtVersion) : stopAtVersion_(stopAtVersion) {}

  bool null() { return other(); }
  bool boolean(bool) { return other(); }
  // JSON Feed asks a reader to take an id of another type as text.
  bool number_integer(number_integer_t value) { return number(std::to_string(value)); }
  bool number_unsigned(number_unsigned_t value) { return number(std::to_string(value)); }
  bool number_float(number_float_t, const string_t& written) { return number(written); }
  bool binary(binary_t&) { return other(); }

  bool string(string_t& text) {
    if (Value* value = slot()) {
      value->text = std::move(text);
      value->present = true;
      if (value == &values_.version && stopAtVersion_) return false;
    }
    return true;
  }

  bool start_object(std::size_t) {
    Role role = Role::Other;
    if (stack_.empty()) {
      role = Role::Root;
      values_.rootIsObject = true;
    } else {
      const Frame& top = stack_.back();
      if (top.role == Role::Root && top.key == Key::Author) {
        role = Role::Author;
        values_.author.clear();
      } else if (top.role == Role::AuthorList) {
        role = Role::Author;
      } else if (top.role == Role::ItemList) {
        role = Role::Item;
        values_.items.emplace_back();
      }
    }
    if (role == Role::Author) author_ = AuthorValues();
    return open(role);
  }

  bool start_array(std::size_t) {
    Role role = Role::Other;
    if (!stack_.empty() && stack_.back().role == Role::Root) {
      if (stack_.back().key == Key::Authors) {
        role = Role::AuthorList;
        values_.authors.clear();
      } else if (stack_.back().key == Key::Items) {
        role = Role::ItemList;
        values_.items.clear();
        values_.itemsIsArray = true;
      }
    }
    return open(role);
  }

  bool key(string_t& name) {
    Frame& top = stack_.back();
    switch (top.role) {
      case Role::Root: top.key = keyNamed(kRootKeys, name); break;
      case Role::Author: top.key = keyNamed(kAuthorKeys, name); break;
      case Role::Item: top.key = keyNamed(kItemKeys, name); break;
      default: top.key = Key::Other; break;
    }
    return true;
  }

  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
    failAt(position);
    return false;
  }
  void failAt(std::size_t position) {
    errorAt_ = position;
    failed_ = true;
  }

  FeedValues& values() { return values_; }
  bool failed() const { return failed_; }
  std::size_t errorAt() const { return errorAt_; }
  bool tooDeep() const { return tooDeep_; }

 private:
  struct Frame {
    Role role;
    Key key = Key::Other;
  };
  struct AuthorValues {
    Value name, url;
  };

  // The value of the member being read, when it is one the feed keeps.
  Value* slot() {
    if (stack_.empty()) return nullptr;
    const Frame& top = stack_.back();
    switch (top.role) {
      case Role::Root:
        switch (top.key) {
          case Key::Version: return stack_.size() == 1 ? &values_.version : nullptr;
          case Key::Title: return &values_.title;
          case Key::HomePageUrl: return &values_.homePageUrl;
          case Key::Description: return &values_.description;
          case Key::Language: return &values_.language;
          default: return nullptr;
        }
      case Role::Author:
        return top.key == Key::Name ? &author_.name : top.key == Key::Url ? &author_.url : nullptr;
      case Role::Item: {
        ItemValues& item = values_.items.back();
        switch (top.key) {
          case Key::Id: return &item.id;
          case Key::Url: return &item.url;
          case Key::ExternalUrl: return &item.externalUrl;
          case Key::Title: return &item.title;
          case Key::ContentHtml: return &item.contentHtml;
          case Key::ContentText: return &item.contentText;
          case Key::Summary: return &item.summary;
          case Key::DatePublished: return &item.datePublished;
          case Key::DateModified: return &item.dateModified;
          default: return nullptr;
        }
      }
      default: return nullptr;
    }
  }

  // A member that is not text (nor an id): as if missing. A list member
  // of another type is no list.
  bool other() {
    if (Value* value = slot()) *value = Value();
    if (!stack_.empty() && stack_.back().role == Role::Root) {
      if (stack_.back().key == Key::Items) {
        values_.items.clear();
        values_.itemsIsArray = false;
      } else if (stack_.back().key == Key::Authors) {
        values_.authors.clear();
      } else if (stack_.back().key == Key::Author) {
        values_.author.clear();
      }
    }
    return true;
  }

  bool number(std::string text) {
    if (!stack_.empty() && stack_.back().role == Role::Item && stack_.back().key == Key::Id)
      return string(text);
    return other();
  }

  bool open(Role role) {
    if (stack_.size() >= static_cast<std::size_t>(limits::kMaxJsonDepth)) {
      tooDeep_ = true;
      return false;
    }
    // An object or array where text was expected replaces it.
    if (Value* value = slot()) *value = Value();
    if (role == Role::Other && !stack_.empty() && stack_.back().role == Role::Root) other();
    stack_.push_back(Frame{role});
    return true;
  }

  bool close() {
    const Role role = stack_.back().role;
    stack_.pop_back();
    if (role == Role::Author) {
      // A name, else the author's address.
      const Value& shown = author_.name.present && !author_.name.text.empty() ? author_.name
                                                                              : author_.url;
      if (shown.present && !shown.text.empty()) {
        const bool inList = !stack_.empty() && stack_.back().role == Role::AuthorList;
        (inList ? values_.authors : values_.author).push_back(shown.text);
      }
    }
    return true;
  }

  bool stopAtVersion_;
  std::vector<Frame> stack_;
  FeedValues values_;
  AuthorValues author_;
  bool failed_ = false;
  bool tooDeep_ = false;
  std::size_t errorAt_ = 0;
};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of the escape "\uXXXX" at text[at], or -1.
long escapedUnit(std::string_view text, std::size_t at) {
  if (text.size() - at < 6 || text[at] != '\\' || text[at + 1] != 'u') return -1;
  long unit = 0;
  for (std::size_t i = at + 2; i < at + 6; ++i) {
    const int digit = hexValue(text[i]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

// Where the strings of text escape a UTF-16 surrogate that is not half of
// a pair, which the JSON library refuses and browsers read as U+FFFD.
std::vector<std::size_t> loneSurrogates(std::string_view text) {
  std::vector<std::size_t> lone;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!inString) {
      inString = c == '"';
      continue;
    }
    if (c == '"') {
      inString = false;
    } else if (c == '\\') {
      const long unit = escapedUnit(text, i);
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        const long next = escapedUnit(text, i + 6);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          i += 11;
          continue;
        }
      }
      if (unit >= 0xD800 && unit <= 0xDFFF) lone.push_back(i);
      i += unit >= 0 ? 5 : 1;
    }
  }
  return lone;
}

// body, or a repaired copy of it in repaired: UTF-8 throughout (bytes
// that are none read as windows-1252, as an XML document's are) and no
// lone surrogate escaped.
std::string_view repairedText(std::string_view body, std::string& repaired) {
  std::string_view text = body;
  if (!isWellFormedUtf8(text)) {
    repaired.assign(text);
    convertToUtf8(repaired, DocumentCharset{charset::kUtf8, 0, {}, {}});
    text = repaired;
  }
  const std::vector<std::size_t> lone = loneSurrogates(text);
  if (lone.empty()) return text;
  if (text.data() != repaired.data()) repaired.assign(text);
  for (const std::size_t at : lone) repaired.replace(at, 6, "\\uFFFD");
  return repaired;
}

// False when the collector stopped the parse or the text is no JSON. The
// library reports bad input to the collector; an exception of its own for
// anything else counts as bad input too.
bool parseJson(std::string_view text, FeedCollector& collector) {
  try {
    return Json::sax_parse(text.data(), text.data() + text.size(), &collector,
                           Json::input_format_t::json, true, false);
  } catch (const Json::exception&) {
    collector.failAt(0);
    return false;
  }
}

// How a text of the document becomes one of the channel.
struct TextForm {
  const TextSteps& steps;
  bool narrow;
};

std::string plainText(Value& value, const TextForm& form) {
  if (!value.present) return std::string();
  std::string text = std::move(value.text);
  text.erase(std::remove_if(text.begin(), text.end(),
                            [](char c) {
                              const auto b = static_cast<unsigned char>(c);
                              return b < 0x20 && c != '\t' && c != '\n' && c != '\r';
                            }),
             text.end());
  if (form.narrow) CharsetConverter().fromUtf8(text);
  return text;
}

std::string htmlText(Value& value, const TextForm& form) {
  std::string text = plainText(value, form);
  cleanText(text, form.steps);
  return text;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

bool isWebAddress(std::string_view text) {
  return startsWith(text, "http://") || startsWith(text, "https://");
}

// An item's link: its url, else its external_url, else its id when that
// is a web address; resolved against the feed's address.
std::string itemLink(ItemValues& item, const TextForm& form, std::string_view base) {
  std::string link = plainText(item.url, form);
  if (link.empty()) link = plainText(item.externalUrl, form);
  if (link.empty() && item.id.present && isWebAddress(item.id.text)) {
    Value id = item.id;
    link = plainText(id, form);
  }
  return link.empty() ? link : resolveLink(base, link);
}

FeedItem itemOf(ItemValues& values, const TextForm& form, std::string_view base) {
  FeedItem item;
  item.guid = values.id.present ? values.id.text : std::string();
  item.title = plainText(values.title, form);
  item.link = itemLink(values, form, base);
  item.description = htmlText(values.contentHtml, form);
  if (item.description.empty()) item.description = plainText(values.contentText, form);
  if (item.description.empty()) item.description = plainText(values.summary, form);
  item.pubDate = plainText(values.datePublished, form);
  if (item.pubDate.empty()) item.pubDate = plainText(values.dateModified, form);
  return item;
}

}  // namespace

bool looksLikeJson(std::string_view body) {
  if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  const std::size_t first = body.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && (body[first] == '{' || body[first] == '[');
}

bool hasJsonFeedVersion(std::string_view body) {
  if (body.size() > limits::kMaxResponseBytes || !looksLikeJson(body)) return false;
  FeedCollector collector(true);
  if (!parseJson(body, collector) && collector.failed()) return false;
  const Value& version = collector.values().version;
  return version.present && isJsonFeedVersion(version.text);
}

JsonFeedReading readJsonFeed(Feed& feed, std::string_view body, const TextSteps& steps,
                             bool narrow, std::string& error) {
  if (body.size() > limits::kMaxResponseBytes) {
    error = "Document too large.";
    return JsonFeedReading::Malformed;
  }
  std::string repaired;
  const std::string_view text = repairedText(body, repaired);
  FeedCollector collector(false);
  if (!parseJson(text, collector)) {
    error = collector.tooDeep() ? "Document nested too deeply."
                                : "Invalid JSON at byte " + std::to_string(collector.errorAt()) + ".";
    return JsonFeedReading::Malformed;
  }
  FeedValues& values = collector.values();
  const bool versioned = values.version.present && isJsonFeedVersion(values.version.text);
  if (!values.rootIsObject || (!versioned && !values.itemsIsArray))
    return JsonFeedReading::NotAFeed;

  const TextForm form{steps, narrow};
  const std::string& base = feed.documentUrl.empty() ? feed.url : feed.documentUrl;
  Channel channel;
  channel.title = plainText(values.title, form);
  channel.link = plainText(values.homePageUrl, form);
  if (!channel.link.empty()) channel.link = resolveLink(base, channel.link);
  channel.description = plainText(values.description, form);
  channel.language = plainText(values.language, form);
  // The authors stand where RSS names the person responsible for the feed.
  std::vector<std::string>& authors = values.authors.empty() ? values.author : values.authors;
  for (std::string& name : authors) {
    Value value{std::move(name), true};
    name = plainText(value, form);
  }
  authors.erase(std::remove(authors.begin(), authors.end(), std::string()), authors.end());
  channel.managingEditor = joined(authors);
  channel.items.reserve(values.items.size());
  for (ItemValues& item : values.items) channel.items.push_back(itemOf(item, form, base));
  feed.channel = std::move(channel);
  return JsonFeedReading::Read;
}

}  // namespace korvo
