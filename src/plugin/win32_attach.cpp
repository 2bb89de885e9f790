// Load and unload notifications of the DLL: the plug-in's entry on
// Windows. Linked into the plug-in itself, not into a layer library.
#include <windows.h>

#include "plugin/attach.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) korvo::onLibraryAttach();
  else if (reason == DLL_PROCESS_DETACH) korvo::onLibraryDetach();
  return TRUE;
}
