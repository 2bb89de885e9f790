#pragma once
// Relative references in feeds (RFC 3986, section 5.2), resolved against a
// base address, so that a link hands the browser a whole address.
#include <string>
#include <string_view>

namespace korvo {

// `link` resolved against `base`. A link with a scheme, an empty link, and
// any link when base has no scheme come back unchanged.
std::string resolveLink(std::string_view base, std::string_view link);

// Whether resolving link can change it: false for an empty link and for one
// with a scheme, which resolveLink gives back unchanged whatever the base,
// so that a caller can skip working out the base.
bool linkNeedsBase(std::string_view link);

}  // namespace korvo
