#pragma once
// The URL rules of the feed subsystem: which URLs may be used as feed URLs,
// how one splits into the pieces a download needs, and how a redirect's
// Location is read against the address that sent it. Never fail.
#include <string>
#include <string_view>

namespace korvo {

// A feed address split for a download.
struct FeedAddress {
  bool secure = false;     // "https://"
  std::string host;        // the name or literal to look up: no brackets, no port
  int port = 0;            // the explicit port, else 80 or 443
  std::string authority;   // the host as written (brackets kept) + ":" + port, for Host:
  std::string path;        // everything after the host, as written ("" when nothing)
};

// True for "http://" and "https://" URLs (exact case) with a host, a port
// that is a number from 1 to 65535 when one is written, IPv6 literals only
// in brackets, no user information. out holds the pieces; on false it is
// left in an unspecified state.
bool parseAddress(std::string_view url, FeedAddress& out);

// True when the URL is longer than its scheme and one character, starts
// with "http://" or "https://" (exact case) and has a "/" after the first
// character of the host.
bool isValidUrl(std::string_view url);

// The absolute URL a Location header names, read against base (an address
// parseAddress accepts): absolute ("http://", "https://", scheme in any
// letter case), scheme-relative ("//host/..."), absolute path ("/...") or
// relative to base's directory ("x.xml", "?q"). Empty when location is
// empty or names another scheme.
std::string resolveLocation(std::string_view base, std::string_view location);

}  // namespace korvo
