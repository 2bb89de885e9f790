// Load and unload notifications of a shared object. This file is linked
// into the plug-in itself, not into the core library.
#include "plugin/attach.h"

namespace {

__attribute__((constructor)) void korvoAttach() { korvo::onLibraryAttach(); }
__attribute__((destructor)) void korvoDetach() { korvo::onLibraryDetach(); }

}  // namespace
