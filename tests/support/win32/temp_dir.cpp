// The Windows side of temp_dir.h. Files that the plug-in writes through the
// system (the private-profile functions, the log in text mode) end their
// lines with CR LF; readWholeFile hands them over with LF, as the tests
// compare them, while dataFile keeps the fixture bytes exactly.
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/temp_dir.h"

namespace korvo::test {
namespace {

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TempDir::TempDir() {
  char base[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(sizeof base, base);
  if (n == 0 || n > MAX_PATH) throw std::runtime_error("GetTempPathA failed");
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string name = std::string(base) + "korvo-test-" +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount()) + "-" + std::to_string(counter++);
    if (CreateDirectoryA(name.c_str(), nullptr)) {
      path_ = name + "\\";
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string readWholeFile(const std::string& path) {
  std::string text = readBytes(path);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
  return out;
}

void writeWholeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string dataFile(const std::string& name) {
  return readBytes(std::string(KORVO_TEST_DATA_DIR) + "/" + name);
}

}  // namespace korvo::test
