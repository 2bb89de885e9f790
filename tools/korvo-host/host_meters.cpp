#include "host_meters.h"

#include <filesystem>

#include "base/limits.h"
#include "platform/ascii.h"
#include "platform/ini_file.h"

namespace korvo::host {
bool readMeters(const std::string& path, std::vector<HostMeter>& meters, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = "cannot read the host INI file " + path;
    return false;
  }
  for (const std::string& section : ini::readSectionNames(path)) {
    HostMeter m;
    m.section = section;
    std::string function = ini::readString(path, section, "Function", "", limits::kIniTextBuffer);
    m.function = findMeterFunction(function);
    if (m.function == nullptr) {
      error = "[" + section + "]: Function \"" + function + "\" is not one of " +
              meterFunctionNames();
      return false;
    }
    m.param = ini::readString(path, section, "Param", "", limits::kIniTextBuffer);
    meters.push_back(std::move(m));
  }
  return true;
}

HostMeter* findMeter(std::vector<HostMeter>& meters, std::string_view section) {
  for (HostMeter& m : meters)
    if (ascii::equalsIgnoringCase(m.section, section)) return &m;
  return nullptr;
}

}  // namespace korvo::host
