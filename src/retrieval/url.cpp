#include "retrieval/url.h"

namespace korvo {
namespace {

constexpr std::string_view kScheme = "http://";

struct HostSpan {
  std::size_t begin;
  std::size_t end;
};

HostSpan hostSpan(std::string_view url) {
  const std::size_t begin = url.find(kScheme) != std::string_view::npos ? kScheme.size() : 0;
  const std::size_t slash = url.find('/', begin);
  return {begin, slash == std::string_view::npos ? url.size() : slash};
}

}  // namespace

std::string hostOf(std::string_view url) {
  const HostSpan host = hostSpan(url);
  return std::string(url.substr(host.begin, host.end - host.begin));
}

// The path is taken from where the host ends, not from the first place its
// text occurs: a host such as "http" also occurs inside the scheme.
std::string pathOf(std::string_view url) { return std::string(url.substr(hostSpan(url).end)); }

bool isValidUrl(std::string_view url) {
  return url.size() > 8 && url.substr(0, kScheme.size()) == kScheme &&
         url.find('/', 8) != std::string_view::npos;
}

}  // namespace korvo
