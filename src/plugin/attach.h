#pragma once
// Attach/detach service: the system calls these once when the plug-in is
// loaded and once when it is unloaded. Defined by the plug-in layer.

namespace korvo {

void onLibraryAttach();
void onLibraryDetach();

}  // namespace korvo
