#include "feed/link_resolver.h"

#include <cstddef>

namespace korvo {
namespace {

bool isSchemeChar(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Length of the scheme before the ":" that ends it, or 0 for none.
std::size_t schemeLength(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSchemeChar(text[i], i == 0)) ++i;
  return i > 0 && i < text.size() && text[i] == ':' ? i : 0;
}

// Removes "." and ".." segments from a path that starts with "/".
std::string removeDotSegments(std::string_view path) {
  std::string out;
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t end = path.find('/', i + 1);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(i, end - i);  // with its leading "/"
    if (segment == "/." || segment == "/..") {
      if (segment == "/..") {
        const std::size_t slash = out.rfind('/');
        out.resize(slash == std::string::npos ? 0 : slash);
      }
      if (end == path.size()) out += '/';
    } else {
      out += segment;
    }
    i = end;
  }
  return out;
}

}  // namespace

bool linkNeedsBase(std::string_view link) { return !link.empty() && schemeLength(link) == 0; }

std::string resolveLink(std::string_view base, std::string_view link) {
  const std::size_t scheme = schemeLength(base);
  if (!linkNeedsBase(link) || scheme == 0) return std::string(link);
  // base = scheme ":" ["//" authority] path ["?" query] ["#" fragment]
  const std::size_t hierStart = scheme + 1;
  std::size_t pathStart = hierStart;
  if (base.substr(hierStart, 2) == "//") {
    pathStart = base.find_first_of("/?#", hierStart + 2);
    if (pathStart == std::string_view::npos) pathStart = base.size();
  }
  std::size_t pathEnd = base.find_first_of("?#", pathStart);
  if (pathEnd == std::string_view::npos) pathEnd = base.size();
  std::size_t queryEnd = base.find('#', pathEnd);
  if (queryEnd == std::string_view::npos) queryEnd = base.size();

  if (link.substr(0, 2) == "//") return std::string(base.substr(0, hierStart)) + std::string(link);
  const std::string origin(base.substr(0, pathStart));
  if (link[0] == '#') return std::string(base.substr(0, queryEnd)) + std::string(link);
  if (link[0] == '?') return std::string(base.substr(0, pathEnd)) + std::string(link);

  std::size_t linkPathEnd = link.find_first_of("?#");
  if (linkPathEnd == std::string_view::npos) linkPathEnd = link.size();
  std::string path;
  if (link[0] == '/') {
    path = std::string(link.substr(0, linkPathEnd));
  } else {
    const std::string_view basePath = base.substr(pathStart, pathEnd - pathStart);
    const std::size_t slash = basePath.rfind('/');
    path = slash == std::string_view::npos ? "/" : std::string(basePath.substr(0, slash + 1));
    path += link.substr(0, linkPathEnd);
  }
  return origin + removeDotSegments(path) + std::string(link.substr(linkPathEnd));
}

}  // namespace korvo
