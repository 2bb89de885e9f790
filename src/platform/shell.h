#pragma once
// Shell service: hand a link to the user's browser.
#include <string>

namespace korvo {

// Opens link with the system's "open" action, without a shell in between.
// The outcome is not reported.
void openLink(const std::string& link);

}  // namespace korvo
