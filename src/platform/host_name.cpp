#include "platform/host_name.h"

namespace korvo {
namespace {

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool isIpv6Literal(std::string_view host) {
  if (host.size() < 2 || host.size() > 45) return false;
  const std::size_t colon = host.find(':');
  if (colon == std::string_view::npos || host.find(':', colon + 1) == std::string_view::npos)
    return false;
  for (char c : host)
    if (!isHexDigit(c) && c != ':' && c != '.') return false;
  return true;
}

bool isLookupName(std::string_view host) {
  if (isIpv6Literal(host)) return true;
  if (host.empty() || host.size() > 254 || host.front() == '.') return false;
  char previous = 0;
  for (char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_';
    if (!ok || (c == '.' && previous == '.')) return false;
    previous = c;
  }
  return true;
}

}  // namespace korvo
