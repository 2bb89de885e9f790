#pragma once
// The URL rules of the feed subsystem: how a feed URL splits into host and
// path, and which URLs may be used as feed URLs at all. Never fail.
#include <string>
#include <string_view>

namespace korvo {

// The host part: after "http://" (when that occurs anywhere in the URL,
// else from the start) up to the next "/" or the end. A port, user
// information and letter case stay in it.
std::string hostOf(std::string_view url);

// Everything after the host part: the path, query and fragment as written.
std::string pathOf(std::string_view url);

// True when the URL is longer than 8 characters, starts with "http://"
// (exact case) and has a "/" at index 8 or later.
bool isValidUrl(std::string_view url);

}  // namespace korvo
