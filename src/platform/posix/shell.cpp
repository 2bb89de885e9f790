#include "platform/shell.h"
// Filled in with the click action.
namespace korvo { void openLink(const std::string&) {} }
