// Drives the plug-in through its exports for a test that moves the clock:
// run under libfaketime with FAKETIME_TIMESTAMP_FILE, it sets the time by
// rewriting that file. Arguments: PLUGIN TIMEFILE HOSTINI then commands:
//   at=SECONDS        the clock stands at SECONDS since 1970 (UTC)
//   meter=SECTION     dllstartup + src_load_settings; prints "meter <id>"
//   title=ID          prints "title <GetTitle(ID)>"
//   item=ID,N         prints "item <GetItemTitle(ID, N)>"
//   list=ID,N         prints "list <GetTitleOfItemsNT(ID, N)>", '|' for each line feed
//   date=ID,N         prints "date <GetItemPubDate(ID, N)>"
#include <dlfcn.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace {

using Startup = int (*)(unsigned, unsigned);
using Load = int (*)(int, const char*, const char*);
using Channel = const char* (*)(int);
using Item = const char* (*)(int, const char*);

bool setClock(const char* file, long seconds) {
  std::time_t t = seconds;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S\n", &tm);
  std::FILE* f = std::fopen(file, "w");
  if (!f) return false;
  std::fputs(text, f);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto startup = reinterpret_cast<Startup>(dlsym(lib, "dllstartup"));
  auto load = reinterpret_cast<Load>(dlsym(lib, "src_load_settings"));
  auto title = reinterpret_cast<Channel>(dlsym(lib, "GetTitle"));
  auto itemTitle = reinterpret_cast<Item>(dlsym(lib, "GetItemTitle"));
  auto titleList = reinterpret_cast<Item>(dlsym(lib, "GetTitleOfItemsNT"));
  auto itemDate = reinterpret_cast<Item>(dlsym(lib, "GetItemPubDate"));
  if (!startup || !load || !title || !itemTitle || !titleList || !itemDate) return 1;
  for (int i = 4; i < argc; ++i) {
    std::string cmd = argv[i];
    std::size_t eq = cmd.find('=');
    std::string name = cmd.substr(0, eq), arg = eq == std::string::npos ? "" : cmd.substr(eq + 1);
    if (name == "at") {
      if (!setClock(argv[2], std::stol(arg))) return 1;
    } else if (name == "meter") {
      int id = startup(0, 0);
      load(id, argv[3], arg.c_str());
      std::printf("meter %d\n", id);
    } else if (name == "title") {
      std::printf("title %s\n", title(std::stoi(arg)));
    } else if (name == "item" || name == "list" || name == "date") {
      std::size_t comma = arg.find(',');
      const Item query = name == "item" ? itemTitle : name == "list" ? titleList : itemDate;
      std::string text = query(std::stoi(arg.substr(0, comma)), arg.substr(comma + 1).c_str());
      for (char& c : text)
        if (c == '\n') c = '|';
      std::printf("%s %s\n", name.c_str(), text.c_str());
    } else {
      return 2;
    }
    std::fflush(stdout);
  }
  dlclose(lib);
  return 0;
}
