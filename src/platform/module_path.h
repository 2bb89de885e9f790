#pragma once
// Module path service: where the loaded plug-in file lives.
#include <string>

namespace korvo {

// The separator that ends a directory in the system's file names.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Full file name of the library (or program) that holds this code, cut to
// bufferSize - 1 bytes as the Windows call does; empty when it cannot be told.
std::string modulePath(std::size_t bufferSize);

// True where the library's unload notification may wait for a thread to
// end (false on Windows: DllMain runs under the loader lock).
extern const bool kMayJoinAtUnload;

}  // namespace korvo
