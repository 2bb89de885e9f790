#pragma once
// Start-up and shut-down of the plug-in: the system's load and unload
// notifications (posix_attach.cpp, win32_attach.cpp, one linked into the
// plug-in) call these once per load. Defined in context.cpp.

namespace korvo {

void onLibraryAttach();
void onLibraryDetach();

}  // namespace korvo
