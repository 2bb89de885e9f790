#pragma once
// The few <dlfcn.h> calls the tests make, over LoadLibraryA and friends,
// so the same test sources load korvo.dll on Windows.
#include <windows.h>

#define RTLD_NOW 2
#define RTLD_LOCAL 0

inline void* dlopen(const char* file, int) {
  return reinterpret_cast<void*>(LoadLibraryA(file));
}
inline void* dlsym(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
inline int dlclose(void* handle) { return FreeLibrary(static_cast<HMODULE>(handle)) ? 0 : -1; }
inline const char* dlerror() { return "LoadLibraryA failed"; }
