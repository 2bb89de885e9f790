#pragma once
// Shell service: hand a link to the user's browser.
#include <string>

namespace korvo {

// Opens link with the system's "open" action, without a shell in between.
// Empty when the link was handed to the opener (what the browser then does
// is not known); otherwise a short reason, such as "no xdg-open on PATH".
std::string openLink(const std::string& link);

}  // namespace korvo
