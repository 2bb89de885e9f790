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

// The longest Width taken: more than Conky shows of any one text.
constexpr std::size_t kMaxWidthDigits = 5;

// The Width key of a meter's section: empty or missing is no limit,
// anything but a plain decimal number an error.
void readWidth(const std::string& hostIni, const std::string& section, std::size_t& width,
               std::string& error) {
  std::string value = ini::readString(hostIni, section, "Width", "", limits::kIniTextBuffer);
  width = 0;
  bool ok = value.size() <= kMaxWidthDigits;
  for (char c : value) {
    ok = ok && c >= '0' && c <= '9';
    if (ok) width = width * 10 + static_cast<std::size_t>(c - '0');
  }
  if (!ok) {
    width = 0;
    error = "[" + section + "]: Width \"" + value + "\" is not a number of characters";
  }
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
  widths_.assign(meters_.size(), MeterWidth());
  for (std::size_t i = 0; i < meters_.size(); ++i)
    readWidth(hostIni_, meters_[i].section, widths_[i].characters, widths_[i].error);
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
  widths_.clear();
  return false;
}

std::string ConkyHost::show(std::string_view section, bool tooltip) {
  std::string message;
  host::HostMeter* m = load() ? host::findMeter(meters_, section) : nullptr;
  if (!error_.empty()) {
    message = error_;
  } else if (m == nullptr) {
    message = "no meter [" + std::string(section) + "] in " + hostIni_;
  } else if (const MeterWidth& width = widths_[static_cast<std::size_t>(m - meters_.data())];
             !width.error.empty()) {
    message = width.error;
  } else {
    if (m->id < 0) {
      m->id = api_.dllstartup(0, 0);
      api_.src_load_settings(m->id, hostIni_.c_str(), m->section.c_str());
    }
    const host::MeterFunction& f = *m->function;
    host::MeterText shown = host::splitTooltip(f.channel ? (api_.*f.channel)(m->id)
                                                         : (api_.*f.item)(m->id, m->param.c_str()));
    return escapeForConky(fitLines(
        pluginTextToUtf8(tooltip ? shown.tooltip : shown.text, pluginCodePage_), width.characters));
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
  widths_.clear();
  tried_ = false;
  error_.clear();
  reported_.clear();
}

}  // namespace korvo::conky
