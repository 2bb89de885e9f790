// Load and unload notifications of a shared object: the plug-in's entry on
// Linux. Linked into the plug-in itself, not into a layer library.
#include "plugin/attach.h"

namespace {

__attribute__((constructor)) void korvoAttach() { korvo::onLibraryAttach(); }
__attribute__((destructor)) void korvoDetach() { korvo::onLibraryDetach(); }

}  // namespace
