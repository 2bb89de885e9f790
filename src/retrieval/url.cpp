#include "retrieval/url.h"

#include <algorithm>

#include "base/limits.h"
#include "platform/ascii.h"

namespace korvo {
namespace {

constexpr std::string_view kPlain = "http://";
constexpr std::string_view kSecure = "https://";

bool startsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// 1..65535 written with digits only; an empty port means the default.
bool readPort(std::string_view text, int fallback, int& port) {
  if (text.empty()) {
    port = fallback;
    return true;
  }
  if (text.size() > 5) return false;
  const ascii::Decimal value = ascii::parseDecimal(text, 1, 65535, ascii::Form::Digits);
  if (!value.hasDigits || !value.inRange) return false;
  port = static_cast<int>(value.value);
  return true;
}

std::string_view schemeOf(std::string_view url) {
  if (startsWith(url, kPlain)) return kPlain;
  if (startsWith(url, kSecure)) return kSecure;
  return {};
}

}  // namespace

bool parseAddress(std::string_view url, FeedAddress& out) {
  const std::string_view scheme = schemeOf(url);
  if (scheme.empty()) return false;
  out.secure = scheme == kSecure;
  const int fallback = out.secure ? limits::kHttpsPort : limits::kHttpPort;
  const std::size_t slash = url.find('/', scheme.size());
  const std::size_t hostEnd = slash == std::string_view::npos ? url.size() : slash;
  const std::string_view written = url.substr(scheme.size(), hostEnd - scheme.size());
  out.path = std::string(url.substr(hostEnd));
  if (written.empty() || written.find('@') != std::string_view::npos) return false;

  std::string_view name;
  std::string_view portText;
  if (written.front() == '[') {
    const std::size_t close = written.find(']');
    if (close == std::string_view::npos || close < 2) return false;
    name = written.substr(1, close - 1);
    const std::string_view rest = written.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return false;
    if (!rest.empty()) portText = rest.substr(1);
    if (name.find(':') == std::string_view::npos) return false;
  } else {
    const std::size_t colon = written.find(':');
    if (colon != written.rfind(':')) return false;  // an IPv6 literal needs brackets
    name = written.substr(0, colon);
    if (colon != std::string_view::npos) portText = written.substr(colon + 1);
  }
  if (name.empty() || !readPort(portText, fallback, out.port)) return false;
  out.host = std::string(name);
  const bool bracketed = written.front() == '[';
  out.authority = (bracketed ? "[" + out.host + "]" : out.host) + ":" + std::to_string(out.port);
  return true;
}

bool isValidUrl(std::string_view url) {
  const std::string_view scheme = schemeOf(url);
  return !scheme.empty() && url.size() > scheme.size() + 1 &&
         url.find('/', scheme.size() + 1) != std::string_view::npos;
}

std::string resolveLocation(std::string_view base, std::string_view location) {
  while (!location.empty() && (location.front() == ' ' || location.front() == '\t'))
    location.remove_prefix(1);
  while (!location.empty() && (location.back() == ' ' || location.back() == '\t'))
    location.remove_suffix(1);
  if (location.empty()) return {};
  for (std::string_view scheme : {kPlain, kSecure})
    if (ascii::startsWithIgnoringCase(location, scheme))
      return std::string(scheme) + std::string(location.substr(scheme.size()));
  const std::string_view scheme = schemeOf(base);
  if (scheme.empty()) return {};
  // Any other "name:" in front is a scheme we do not follow.
  const std::size_t colon = location.find(':');
  if (colon != std::string_view::npos && location.find_first_of("/?#") > colon) return {};
  if (startsWith(location, "//"))
    return std::string(scheme.substr(0, scheme.size() - 2)) + std::string(location);

  const std::size_t hostEnd = std::min(base.find('/', scheme.size()), base.size());
  const std::string_view origin = base.substr(0, hostEnd);
  if (location.front() == '/') return std::string(origin) + std::string(location);
  std::string_view path = base.substr(hostEnd);
  path = path.substr(0, path.find_first_of("?#"));
  if (location.front() == '?' || location.front() == '#')
    return std::string(origin) + std::string(path.empty() ? "/" : path) + std::string(location);
  const std::size_t lastSlash = path.rfind('/');
  const std::string_view directory =
      lastSlash == std::string_view::npos ? std::string_view("/") : path.substr(0, lastSlash + 1);
  return std::string(origin) + std::string(directory) + std::string(location);
}

}  // namespace korvo
