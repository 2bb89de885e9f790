// korvo-host: a reference host that drives the plug-in through its entry
// points the way a desktop meter host does, and prints what it would show.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "host_code_page.h"
#include "host_meters.h"
#include "host_options.h"
#include "fetch_report.h"
#include "base/version.h"
#include "host_system.h"
#include "meter_display.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "platform/text_conversion.h"
#include "plugin_files.h"
#include "plugin_api.h"

namespace korvo::host {
namespace {

constexpr unsigned kClickAction = 5001;
// What run() returns when the plug-in's Korvo.ini names no news site.
constexpr int kNoNewsSite = 3;

std::string_view text(const char* s) { return s ? std::string_view(s) : std::string_view(); }

bool listed(std::string_view list, std::string_view name) {
  while (!list.empty()) {
    std::size_t bar = list.find('|');
    if (list.substr(0, bar) == name) return true;
    if (bar == std::string_view::npos) break;
    list.remove_prefix(bar + 1);
  }
  return false;
}

void showInfo(const PluginApi& api, const std::string& path, const std::vector<HostMeter>& meters) {
  std::cout << "plug-in " << path << '\n'
            << "  " << text(api.getinfo(0)) << ' ' << text(api.getinfo(2)) << " ("
            << text(api.getinfo(3)) << ", " << text(api.getinfo(4)) << "), "
            << text(api.getinfo(7)) << ", by " << text(api.getinfo(1)) << " <"
            << text(api.getinfo(6)) << ">\n";
  const std::string functions(text(api.init()));
  std::cout << "  type " << api.dlltype() << ", actions \"" << text(api.actionsprovided())
            << "\"\n  meter functions: " << functions << '\n';
  for (const HostMeter& m : meters)
    if (!listed(functions, m.function->name))
      std::cerr << "korvo-host: warning: [" << m.section << "]: the plug-in does not list "
                << m.function->name << '\n';
}

void draw(const PluginApi& api, const HostMeter& m, unsigned codePage) {
  const MeterFunction& f = *m.function;
  const char* answer = f.channel ? (api.*f.channel)(m.id) : (api.*f.item)(m.id, m.param.c_str());
  if (answer == nullptr)
    std::cerr << "korvo-host: warning: [" << m.section << "] " << f.name
              << " returned a null pointer; shown as empty\n";
  showMeter(std::cout, m.section, f.name, f.item ? &m.param : nullptr, splitTooltip(answer),
            codePage);
}

int run(const HostOptions& options) {
  std::vector<HostMeter> meters;
  std::string error;
  if (!readMeters(options.hostIni, meters, error)) {
    std::cerr << "korvo-host: " << error << '\n';
    return 2;
  }
  for (const auto* list : {&options.click, &options.configure})
    for (const std::string& section : *list)
      if (findMeter(meters, section) == nullptr) {
        std::cerr << "korvo-host: no meter [" << section << "] in " << options.hostIni << '\n';
        return 2;
      }

  const std::string path =
      options.library.empty() ? executableDirectory() + kDefaultLibraryName : options.library;
  // Looked at before the plug-in is loaded: it makes the file when missing.
  const std::string pluginIni = besideLibrary(path, "Korvo.ini");
  // Without a news site every meter would be empty, and loading the plug-in
  // would leave a Korvo.ini behind that keeps them so. The options dialog
  // is where a site can be added, and a library that is not there is the
  // first thing to say.
  if (options.configure.empty() && files::fileInfo(path)) {
    const std::string advice = noNewsSiteAdvice(pluginIni, options.hostIni);
    if (!advice.empty()) {
      std::cerr << advice;
      return kNoNewsSite;
    }
  }
  std::string warning;
  const std::string settings = settingsLine(pluginIni, warning);
  const HostCodePage codePage =
      chooseCodePage(options.codePage, pluginIni, charset::systemCodePage());
  DynamicLibrary library(path);
  if (!library.isOpen()) {
    std::cerr << "korvo-host: cannot load " << path << ": " << library.error() << '\n';
    return 1;
  }
  PluginApi api;
  std::string missing;
  if (!resolve(library, api, missing)) {
    std::cerr << "korvo-host: " << path << " lacks the entry point " << missing << '\n';
    return 1;
  }

  showInfo(api, path, meters);
  if (!settings.empty()) std::cout << "  " << settings << '\n';
  if (!warning.empty()) std::cerr << "korvo-host: warning: " << warning << '\n';
  std::cout << "  texts in code page " << codePage.name << " (" << codePage.source
            << "), shown in UTF-8\n";
  if (!codePage.warning.empty()) std::cerr << "korvo-host: warning: " << codePage.warning << '\n';
  const bool logging = loggingOn(pluginIni);
  LogWatch log(besideLibrary(path, "Korvolog.txt"));
  const char* ini = options.hostIni.c_str();
  for (HostMeter& m : meters) {
    m.id = api.dllstartup(0, 0);
    api.src_load_settings(m.id, ini, m.section.c_str());
  }
  std::cout << meters.size() << (meters.size() == 1 ? " meter" : " meters") << " started\n";
  for (const std::string& section : options.configure) {
    const HostMeter& m = *findMeter(meters, section);
    log.mark();
    api.source_configure(m.id, 0);
    api.src_save_settings(m.id, ini, m.section.c_str());
    std::cout << configureReport(m.section, log.messagesSince("Options dialog: "), displayProblem())
              << '\n';
  }

  if (options.watch) catchInterrupts();
  for (unsigned round = 1;; ++round) {
    if (options.rounds != 1) std::cout << "-- drawing " << round << '\n';
    for (const HostMeter& m : meters) draw(api, m, codePage.target.number);
    if (round == 1)
      for (const std::string& section : options.click) {
        const HostMeter& m = *findMeter(meters, section);
        log.mark();
        api.action(0, kClickAction, m.id, 0, 0, 0, 0, 0, 0, 0, 0);
        std::cout << clickReport(m.section, log.messagesSince("Click: "), logging) << '\n';
      }
    std::cout.flush();
    if (interrupted() || round == options.rounds || !waitSeconds(options.watchSeconds)) break;
  }

  for (const HostMeter& m : meters) {
    api.src_save_settings(m.id, ini, m.section.c_str());
    api.dllshutdown(m.id);
  }
  library.close();
  std::cout << "settings saved, meters shut down, plug-in unloaded\n";
  return 0;
}

}  // namespace
}  // namespace korvo::host

int main(int argc, char** argv) {
  using namespace korvo::host;
  setUpCharacterSets();
  HostOptions options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) {
    std::cerr << "korvo-host: " << error << "\n\n" << kUsage;
    return 2;
  }
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (options.version) {
    std::cout << "korvo-host " KORVO_VERSION "\n";
    return 0;
  }
  try {
    if (!options.fetchUrl.empty()) {
      // The report is out before the process ends, whatever its ending.
      const int status = fetchAndReport(options.fetchUrl, std::cout);
      std::cout.flush();
      return status;
    }
    return run(options);
  } catch (const std::exception& e) {
    std::cerr << "korvo-host: " << e.what() << '\n';
    return 1;
  }
}
