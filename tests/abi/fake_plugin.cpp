// A stand-in plug-in for testing korvo-host: scripted answers (a tooltip, a
// null pointer, several lines, 8-bit bytes, and as GetItemDescription the
// bytes of the environment variable KORVO_FAKE_TEXT), an init list that
// leaves out GetTitleOfItemsNT, and a record of every call, one line each,
// appended to the file named by KORVO_FAKE_CALLS. Built once whole and once without the
// GetTitleOfItemsNT entry point.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {

using U = std::uint32_t;

void record(const std::string& line) {
  const char* path = std::getenv("KORVO_FAKE_CALLS");
  if (path == nullptr) return;
  if (std::FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string str(const char* s) { return s ? s : "(null)"; }

const char* answer(const std::string& text) {
  static std::string buffer;
  buffer = text;
  return buffer.c_str();
}

int nextId = 100;

}  // namespace

FAKE_API const char* init() {
  record("init");
  return "GetTitle|GetLink|GetDescription|GetLanguage|GetCopyright|GetLastBuildDate|"
         "GetManagingEditor|GetRating|GetPubDate|GetItemTitle|GetItemLink|GetItemDescription|"
         "GetItemPubDate|GetTitleOfItems";
}
FAKE_API int dllstartup(U, U) {
  record("dllstartup " + std::to_string(nextId));
  return nextId++;
}
FAKE_API int dllshutdown(int id) {
  record("dllshutdown " + std::to_string(id));
  return 0;
}
FAKE_API int configure() { return 0; }
FAKE_API int source_configure(int id, U) {
  record("source_configure " + std::to_string(id));
  return 0;
}
FAKE_API int src_load_settings(int id, const char* file, const char* section) {
  record("src_load_settings " + std::to_string(id) + " " + str(file) + " " + str(section));
  return 0;
}
FAKE_API int src_save_settings(int id, const char* file, const char* section) {
  record("src_save_settings " + std::to_string(id) + " " + str(file) + " " + str(section));
  return 0;
}
FAKE_API int dlltype() { return 5; }
FAKE_API const char* actionsprovided() { return "5001|"; }
FAKE_API int action(U, U number, int id, U, U, U, U, U, U, U, U) {
  record("action " + std::to_string(number) + " " + std::to_string(id));
  return 0;
}
FAKE_API const char* getinfo(unsigned index) { return index == 0 ? "Fake" : nullptr; }
FAKE_API const char* getparam(const char*) { return ""; }
FAKE_API int input_configure(U, U) { return 0; }
FAKE_API int input_load_settings(U, U, U) { return 0; }
FAKE_API int input_save_settings(U, U, U) { return 0; }
FAKE_API int pastemeter(int, int) { return 0; }

FAKE_API const char* GetTitle(int) { return answer("Fake title%ttFirst%ttsecond"); }
FAKE_API const char* GetLink(int) { return nullptr; }
FAKE_API const char* GetDescription(int) { return answer("two\nlines%tt"); }
FAKE_API const char* GetLanguage(int) { return ""; }
FAKE_API const char* GetCopyright(int) { return ""; }
FAKE_API const char* GetLastBuildDate(int) { return ""; }
FAKE_API const char* GetManagingEditor(int) { return ""; }
FAKE_API const char* GetRating(int) { return ""; }
FAKE_API const char* GetPubDate(int) { return ""; }
FAKE_API const char* GetItemTitle(int id, const char* n) {
  return answer("item " + str(n) + " of meter " + std::to_string(id));
}
FAKE_API const char* GetItemLink(int, const char*) { return ""; }
FAKE_API const char* GetItemDescription(int, const char*) {
  const char* text = std::getenv("KORVO_FAKE_TEXT");
  return text ? text : "";
}
FAKE_API const char* GetItemPubDate(int, const char*) { return ""; }
FAKE_API const char* GetTitleOfItems(int, const char* n) { return answer("list of " + str(n)); }
#ifndef FAKE_WITHOUT_LAST_ENTRY_POINT
FAKE_API const char* GetTitleOfItemsNT(int, const char*) { return answer("\xE4\xF6\xFC"); }
#endif
