#include "conky_host.h"

#include <algorithm>
#include <iostream>

#include "base/limits.h"
#include "conky_text.h"
#include "host_code_page.h"
#include "meter_display.h"
#include "platform/ini_file.h"
#include "platform/text_conversion.h"

namespace korvo::conky {
namespace {

std::string directoryOf(const std::string& path) {
  std::size_t cut = path.rfind('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace

ConkyHost::ConkyHost(std::string hostIni, std::string library, std::string moduleDirectory)
    : hostIni_(std::move(hostIni)),
      libraryPath_(library.empty() ? moduleDirectory + host::kDefaultLibraryName
                                   : std::move(library)) {}

ConkyHost::~ConkyHost() { shutdown(); }

bool ConkyHost::load() {
  if (tried_) return error_.empty();
  tried_ = true;
  if (!host::readMeters(hostIni_, meters_, error_)) return false;
  library_ = std::make_unique<host::DynamicLibrary>(libraryPath_);
  std::string missing;
  if (!library_->isOpen()) {
    error_ = "cannot load " + libraryPath_ + ": " + library_->error();
  } else if (!host::resolve(*library_, api_, missing)) {
    error_ = libraryPath_ + " lacks the entry point " + missing;
  } else {
    // The plug-in keeps its Korvo.ini beside itself; only read here. The
    // plug-in reads it when loaded, in this process and so this locale.
    pluginCodePage_ =
        host::chooseCodePage("", directoryOf(libraryPath_) + "Korvo.ini", charset::systemCodePage())
            .target.number;
    return true;
  }
  library_.reset();
  meters_.clear();
  return false;
}

std::string ConkyHost::show(std::string_view section, bool tooltip) {
  std::string message;
  if (!load()) {
    message = error_;
  } else if (host::HostMeter* m = host::findMeter(meters_, section)) {
    if (m->id < 0) {
      m->id = api_.dllstartup(0, 0);
      api_.src_load_settings(m->id, hostIni_.c_str(), m->section.c_str());
    }
    const host::MeterFunction& f = *m->function;
    host::MeterText shown = host::splitTooltip(f.channel ? (api_.*f.channel)(m->id)
                                                         : (api_.*f.item)(m->id, m->param.c_str()));
    return escapeForConky(pluginTextToUtf8(tooltip ? shown.tooltip : shown.text, pluginCodePage_));
  } else {
    message = "no meter [" + std::string(section) + "] in " + hostIni_;
  }
  // Conky's log is its standard error; say each fault there once, not at
  // every update.
  if (std::find(reported_.begin(), reported_.end(), message) == reported_.end()) {
    std::cerr << "korvo: " << message << '\n';
    reported_.push_back(message);
  }
  return escapeForConky("korvo: " + message);
}

void ConkyHost::shutdown() {
  if (library_) {
    for (host::HostMeter& m : meters_) {
      if (m.id < 0) continue;
      api_.src_save_settings(m.id, hostIni_.c_str(), m.section.c_str());
      api_.dllshutdown(m.id);
      m.id = -1;
    }
    library_->close();
    library_.reset();
  }
  api_ = host::PluginApi();
  meters_.clear();
  tried_ = false;
  error_.clear();
  reported_.clear();
}

}  // namespace korvo::conky
