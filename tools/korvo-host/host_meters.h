#pragma once
// The meters of a host INI file: one section per meter, with the host's own
// keys Function and Param beside the plug-in's settings.
#include <string>
#include <string_view>
#include <vector>

#include "plugin_api.h"

namespace korvo::host {

struct HostMeter {
  std::string section;
  const MeterFunction* function = nullptr;
  std::string param;
  int id = -1;
};

// Every section of the file at path, in file order. False with a message
// for the user when the file cannot be read or a Function is unknown.
bool readMeters(const std::string& path, std::vector<HostMeter>& meters, std::string& error);

// The meter of that section (names match without regard to ASCII letter
// case, as in the INI file), or null.
HostMeter* findMeter(std::vector<HostMeter>& meters, std::string_view section);

}  // namespace korvo::host
