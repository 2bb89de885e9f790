// The options dialog on Windows: dialog template 103, run with
// DialogBoxParamA and handed to the OptionsDialog. Until that view is
// written, no window is shown and source_configure returns at once.
#include "platform/dialog_runner.h"

namespace korvo {

bool runOptionsDialog(OptionsDialog&) { return false; }

}  // namespace korvo
