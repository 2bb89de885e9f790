#pragma once
// Which code page the plug-in writes its texts in, as a host is told it:
// the value a user gives it, else CodePage in the [Settings] of the
// plug-in's Korvo.ini, else the plug-in's own default; read the way the
// plug-in reads it.
#include <string>
#include <string_view>

#include "text/target_code_page.h"

namespace korvo::host {

struct HostCodePage {
  TargetCodePage target;  // latin1 when the value was none the plug-in knows
  std::string name;       // "latin1", "utf-8", "1251", "1251 (auto)"
  std::string source;     // where the value came from
  std::string warning;    // why the value was not taken; empty when it was
};

// Whether value is one the CodePage setting takes: auto, latin1, utf-8 or
// the number of a code page the plug-in writes.
bool isCodePageSetting(std::string_view value);

// The code page of the plug-in at pluginIni: `given` when not empty, else
// its CodePage setting, else the default. auto means systemCodePage; a
// value none of these, or auto when systemCodePage is 0, gives latin1 with
// a warning, as the plug-in falls back to it.
HostCodePage chooseCodePage(std::string_view given, const std::string& pluginIni,
                            unsigned systemCodePage);

}  // namespace korvo::host
