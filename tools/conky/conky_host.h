#pragma once
// The plug-in hosted inside Conky: the meters of a host INI file, each
// started the first time Conky shows it, queried at every update, and all
// saved and shut down at the end. Runs on Conky's thread, like every host.
//
// Besides Function and Param, a meter's section may hold Width, this
// host's own key: the most characters a line of the meter shows. A longer
// line ends with "…" (fitLines); 0 or no Width leaves every line whole.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host_meters.h"
#include "host_system.h"
#include "plugin_api.h"

namespace korvo::conky {

class ConkyHost {
 public:
  // library: the plug-in file; empty means libkorvo.so in moduleDirectory.
  ConkyHost(std::string hostIni, std::string library, std::string moduleDirectory);
  ~ConkyHost();  // shuts down
  ConkyHost(const ConkyHost&) = delete;
  ConkyHost& operator=(const ConkyHost&) = delete;

  // What ${lua_parse} shows for the meter of that section: its text, or
  // with tooltip the part after "%tt", in UTF-8 and escaped for Conky. A
  // section that is no meter, or a plug-in that cannot be loaded, shows a
  // one-line message beginning "korvo: ".
  std::string show(std::string_view section, bool tooltip);

  // Saves every started meter's settings into the host INI file, shuts the
  // meters down and unloads the plug-in. A later show starts over.
  void shutdown();

 private:
  bool load();  // the plug-in and the host INI, once; false with error_

  std::string hostIni_;
  std::string libraryPath_;
  std::unique_ptr<host::DynamicLibrary> library_;
  host::PluginApi api_;
  std::vector<host::HostMeter> meters_;
  struct MeterWidth {
    std::size_t characters = 0;  // 0: no limit
    std::string error;           // why the Width key was not taken
  };
  std::vector<MeterWidth> widths_;  // one per meter, in the same order
  unsigned pluginCodePage_ = 0;  // what the plug-in writes its texts in
  bool tried_ = false;
  std::string error_;
  std::vector<std::string> reported_;  // messages already written to stderr
};

}  // namespace korvo::conky
