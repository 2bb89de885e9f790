#pragma once
// The command line of korvo-host.
#include <string>
#include <vector>

namespace korvo::host {

struct HostOptions {
  std::string library;                 // empty: the default beside the program
  std::string hostIni;                 // one section per meter
  std::vector<std::string> click;      // sections to click after the first drawing
  std::vector<std::string> configure;  // sections whose options dialog to run
  bool watch = false;
  unsigned watchSeconds = 0;
  unsigned rounds = 1;                 // drawings; 0: until interrupted
  std::string codePage;                // the plug-in's texts are in; empty: its CodePage
  bool help = false;
  bool version = false;                // --version: print it and end
  std::string fetchUrl;                // --fetch: one download, reported
};

// False with a message for the user when the arguments make no sense.
bool parseOptions(int argc, const char* const* argv, HostOptions& options, std::string& error);

extern const char* const kUsage;

}  // namespace korvo::host
