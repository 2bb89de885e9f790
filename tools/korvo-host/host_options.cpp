#include "host_options.h"

#include <string_view>

#include "host_code_page.h"

namespace korvo::host {
namespace {

// A plain decimal count: digits only, at most a day's worth of seconds or
// a million rounds is plenty.
bool parseCount(std::string_view text, unsigned& out) {
  if (text.empty() || text.size() > 9) return false;
  unsigned n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  out = n;
  return true;
}

}  // namespace

const char* const kUsage =
    "Usage: korvo-host [options] HOST_INI\n"
    "       korvo-host --fetch URL\n"
    "\n"
    "Loads the Korvo plug-in the way a desktop meter host does and shows what\n"
    "its meters display. Each section of HOST_INI is one meter: Function names\n"
    "the plug-in's query (GetTitle, GetItemTitle, GetTitleOfItems, ...), Param\n"
    "is its parameter (the item number or the number of items), and the other\n"
    "keys are the plug-in's own meter settings (NewsSite, UpdateIntervall, ...).\n"
    "At the end every meter's settings are saved back into HOST_INI.\n"
    "\n"
    "The plug-in reads its news sites from Korvo.ini beside the library and logs\n"
    "to Korvolog.txt there; what a click opened, or why nothing was, is told\n"
    "from that log, so it needs DoLog=yes in Korvo.ini.\n"
    "\n"
    "Options:\n"
    "  --lib PATH          the plug-in library (default: libkorvo.so beside korvo-host)\n"
    "  --click SECTION     click that meter (action 5001) after the first drawing\n"
    "  --configure SECTION open that meter's options dialog before drawing, then\n"
    "                      save its settings\n"
    "  --watch N           redraw every N seconds, like a desktop host, until\n"
    "                      interrupted (Ctrl-C)\n"
    "  --rounds K          stop after K drawings\n"
    "  --codepage CP       the code page the plug-in writes its texts in, as its\n"
    "                      CodePage setting names it: auto (this system's), latin1,\n"
    "                      utf-8, or a number such as 1251, 932, 20866 or 28592;\n"
    "                      the texts are printed in UTF-8 (default: CodePage in the\n"
    "                      [Settings] of Korvo.ini beside the library, else the\n"
    "                      plug-in's default: latin1 on Linux, auto on Windows)\n"
    "  --utf8              the same as --codepage utf-8\n"
    "  --latin1            the same as --codepage latin1\n"
    "  --fetch URL         download and read one feed exactly as a meter does and\n"
    "                      print each hop (address, status, the headers that\n"
    "                      matter), the dialect, the items (in UTF-8), or the\n"
    "                      error and why;\n"
    "                      exit status 0 when the feed was read, 1 otherwise\n"
    "  --version           print korvo-host's version\n"
    "  --help              show this text\n"
    "\n"
    "A text holding \"%tt\" is shown as the meter text and, after the marker, its\n"
    "tooltip, each with the number of bytes the plug-in returned; a byte that is\n"
    "no character of the code page is shown as \\xNN.\n"
    "\n"
    "With no Korvo.ini beside the library, or one that names no news site under\n"
    "[NewsSites], korvo-host says how to add one and ends without loading the\n"
    "plug-in (unless --configure is given: the options dialog adds sites).\n"
    "\n"
    "Exit status: 0 done, 1 the library could not be used, 2 bad arguments or\n"
    "host INI file, 3 no news site in Korvo.ini.\n"
    "\n"
    "Example:\n"
    "  korvo-host --click Headline examples/host.ini\n";

bool parseOptions(int argc, const char* const* argv, HostOptions& options, std::string& error) {
  bool roundsGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view& out) {
      if (i + 1 >= argc) {
        error = std::string(arg) + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string_view v;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--lib") {
      if (!value(v)) return false;
      options.library = v;
    } else if (arg == "--click") {
      if (!value(v)) return false;
      options.click.emplace_back(v);
    } else if (arg == "--configure") {
      if (!value(v)) return false;
      options.configure.emplace_back(v);
    } else if (arg == "--watch") {
      if (!value(v)) return false;
      if (!parseCount(v, options.watchSeconds)) {
        error = "--watch needs a number of seconds, not \"" + std::string(v) + "\"";
        return false;
      }
      options.watch = true;
    } else if (arg == "--fetch") {
      if (!value(v)) return false;
      options.fetchUrl = v;
    } else if (arg == "--codepage") {
      if (!value(v)) return false;
      if (!isCodePageSetting(v)) {
        error = "--codepage needs auto, latin1, utf-8 or the number of a code page such as "
                "1251, not \"" + std::string(v) + "\"";
        return false;
      }
      options.codePage = v;
    } else if (arg == "--utf8") {
      options.codePage = "utf-8";
    } else if (arg == "--latin1") {
      options.codePage = "latin1";
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--rounds") {
      if (!value(v)) return false;
      if (!parseCount(v, options.rounds) || options.rounds == 0) {
        error = "--rounds needs a number above 0, not \"" + std::string(v) + "\"";
        return false;
      }
      roundsGiven = true;
    } else if (arg.size() > 1 && arg.front() == '-') {
      error = "unknown option " + std::string(arg);
      return false;
    } else if (options.hostIni.empty()) {
      options.hostIni = arg;
    } else {
      error = "only one host INI file, please";
      return false;
    }
  }
  if (options.help || options.version) return true;
  if (!options.fetchUrl.empty()) {
    if (options.hostIni.empty()) return true;
    error = "--fetch takes no host INI file";
    return false;
  }
  if (options.hostIni.empty()) {
    error = "no host INI file given";
    return false;
  }
  if (options.watch && !roundsGiven) {
    if (options.watchSeconds == 0) {
      error = "--watch 0 would redraw without pause forever; give --rounds too";
      return false;
    }
    options.rounds = 0;
  }
  return true;
}

}  // namespace korvo::host
