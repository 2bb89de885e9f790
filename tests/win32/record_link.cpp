// A stand-in browser for the click test: appends its arguments, counted and
// joined by "|", as one line to the file named by KORVO_LINK_RECORD.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* path = std::getenv("KORVO_LINK_RECORD");
  if (path == nullptr) return 1;
  std::string line = std::to_string(argc - 1);
  for (int i = 1; i < argc; ++i) line += std::string("|") + argv[i];
  std::FILE* f = std::fopen(path, "ab");
  if (f == nullptr) return 1;
  std::fprintf(f, "%s\n", line.c_str());
  std::fclose(f);
  return 0;
}
