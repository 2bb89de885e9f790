// korvo.dll's version resource, as Explorer shows it under Properties,
// Details: the project's version, the product, and which build it is.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/version.h"

namespace korvo::test {
namespace {

std::vector<char> versionInfo(const char* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  std::vector<char> info(size);
  if (size == 0 || !GetFileVersionInfoA(path, 0, size, info.data())) info.clear();
  return info;
}

std::string stringValue(std::vector<char>& info, const std::string& name) {
  const std::string key = "\\StringFileInfo\\040904B0\\" + name;
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
      value == nullptr)
    return "(missing)";
  return value;
}

// "0.93" as the four numbers of the fixed part: 0, 93, 0, 0.
std::vector<unsigned> versionNumbers(const std::string& text) {
  std::vector<unsigned> numbers;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t dot = text.find('.', at);
    numbers.push_back(static_cast<unsigned>(std::stoul(text.substr(at, dot - at))));
    if (dot == std::string::npos) break;
    at = dot + 1;
  }
  numbers.resize(4, 0);
  return numbers;
}

TEST(VersionResourceTest, NamesTheProductItsVersionAndItsBuild) {
  std::vector<char> info = versionInfo(KORVO_PLUGIN_PATH);
  ASSERT_FALSE(info.empty()) << KORVO_PLUGIN_PATH << " has no version resource";
  const std::string bits = sizeof(void*) == 8 ? "64" : "32";
  const struct {
    const char* name;
    std::string expected;
  } kStrings[] = {
      {"ProductName", "Korvo"},
      {"ProductVersion", KORVO_VERSION},
      {"FileVersion", KORVO_VERSION},
      {"FileDescription", "Korvo news-feed plug-in (" + bits + "-bit)"},
      {"OriginalFilename", "korvo.dll"},
      {"CompanyName", "Korvo developers"},
  };
  for (const auto& s : kStrings) EXPECT_EQ(stringValue(info, s.name), s.expected) << s.name;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) &&
              fixed != nullptr && length >= sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  const std::vector<unsigned> n = versionNumbers(KORVO_VERSION);
  for (DWORD ms : {fixed->dwFileVersionMS, fixed->dwProductVersionMS}) {
    EXPECT_EQ(HIWORD(ms), n[0]);
    EXPECT_EQ(LOWORD(ms), n[1]);
  }
  for (DWORD ls : {fixed->dwFileVersionLS, fixed->dwProductVersionLS}) {
    EXPECT_EQ(HIWORD(ls), n[2]);
    EXPECT_EQ(LOWORD(ls), n[3]);
  }
}

}  // namespace
}  // namespace korvo::test
