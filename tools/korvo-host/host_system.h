#pragma once
// What the host needs from the operating system: load a library and look up
// its functions, find its own directory, wait between redraws until the
// user interrupts it. One implementation per system, chosen by CMake.
#include <string>

namespace korvo::host {

// Takes the user's character set from the environment, as a desktop program
// does (the plug-in's CodePage=auto follows the host's), and has a console
// show the UTF-8 that korvo-host prints.
void setUpCharacterSets();

// The plug-in file a host looks for beside itself.
extern const char* const kDefaultLibraryName;

// The directory of the running program, ending in a separator; empty when
// it cannot be told.
std::string executableDirectory();

// A loaded library, unloaded when the object goes.
class DynamicLibrary {
 public:
  // Loads the file at path (a bare name means the file in the current
  // directory, never one found on a search path), binding every symbol now.
  explicit DynamicLibrary(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  bool isOpen() const { return handle_ != nullptr; }
  // Why the load failed.
  const std::string& error() const { return error_; }
  // The address of an exported name, or null.
  void* symbol(const char* name) const;
  void close();

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// From now on an interrupt (Ctrl-C) or a termination request only sets a
// flag; a second one ends the program as usual.
void catchInterrupts();
bool interrupted();
// Waits the given seconds; returns early, with false, when interrupted.
bool waitSeconds(unsigned seconds);

// Why no window could be shown on this system ("DISPLAY is not set"), as
// far as the host can tell without opening one; empty when nothing is wrong.
std::string displayProblem();

}  // namespace korvo::host
