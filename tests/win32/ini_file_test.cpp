// The INI service over the private-profile functions: what it adds to them
// (refusals, bare file names, the section-name list) and what it hands on.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "support/temp_dir.h"

namespace korvo::ini {
namespace {

using test::readWholeFile;
using test::TempDir;
using test::writeWholeFile;

TEST(WindowsIniFileTest, ReadsThroughThePrivateProfileFunctions) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  writeWholeFile(path, "[Meter]\n  NewsSite = Harbour \nUpdateIntervall=-42x\nEmpty=\n"
                       "[NewsSites]\nA=http://a/\nB=http://b/\n");
  EXPECT_EQ(readString(path, "meter", "newssite", "none", 1024), "Harbour");
  EXPECT_EQ(readString(path, "Meter", "NewsSite", "none", 4), "Har") << "cut to the buffer";
  EXPECT_EQ(readString(path, "Meter", "Missing", "none", 1024), "none");
  EXPECT_EQ(readString(dir.file("none.ini"), "Meter", "NewsSite", "dflt", 1024), "dflt");
  EXPECT_EQ(readInt(path, "Meter", "UpdateIntervall", 7), -42);
  EXPECT_EQ(readInt(path, "Meter", "Missing", 7), 7);
  EXPECT_EQ(readSection(path, "NewsSites", 10000), std::string("A=http://a/\0B=http://b/\0", 24));
  EXPECT_EQ(readSection(path, "NewsSites", 10).size(), 8u) << "a cut section reports size - 2";
  EXPECT_EQ(readSection(path, "Nowhere", 100), "");
}

TEST(WindowsIniFileTest, SectionNamesOnceEachWhateverTheListsLength) {
  TempDir dir;
  const std::string path = dir.file("host.ini");
  std::string text = "[First]\n[first]\n";
  std::vector<std::string> expected = {"First"};
  for (int i = 0; i < 500; ++i) {  // longer than the first buffer tried
    const std::string name = "Meter number " + std::to_string(i);
    text += "[" + name + "]\nFunction=GetTitle\n";
    expected.push_back(name);
  }
  writeWholeFile(path, text);
  EXPECT_EQ(readSectionNames(path), expected);
  EXPECT_TRUE(readSectionNames(dir.file("none.ini")).empty());
}

TEST(WindowsIniFileTest, RefusesWhatWouldNotReadBack) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  struct Case {
    const char* what;
    std::string section, key, value;
  };
  const Case cases[] = {
      {"empty key", "S", "", "v"},
      {"key with =", "S", "a=b", "v"},
      {"key like a section", "S", "[x", "v"},
      {"key like a comment", "S", ";x", "v"},
      {"section with ]", "S]", "k", "v"},
      {"value on two lines", "S", "k", "one\ntwo"},
      {"key on two lines", "S", "k\rx", "v"},
      {"zero byte in the key", "S", std::string("k\0x", 3), "v"},
      {"zero byte in the value", "S", "k", std::string("v\0w", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(writeString(path, c.section, c.key, c.value));
  }
  EXPECT_FALSE(std::filesystem::exists(path)) << "nothing was written";
  EXPECT_FALSE(writeString("", "S", "k", "v"));
}

TEST(WindowsIniFileTest, WritesReplacesAndDeletes) {
  TempDir dir;
  const std::string path = dir.file("Korvo.ini");
  ASSERT_TRUE(writeString(path, "NewsSites", "Harbour", " http://h/ "));
  ASSERT_TRUE(writeString(path, "NewsSites", "Kitchen", "http://k/"));
  ASSERT_TRUE(writeString(path, "newssites", "HARBOUR", "http://h2/"));
  EXPECT_EQ(readString(path, "NewsSites", "Harbour", "", 1024), "http://h2/");
  EXPECT_TRUE(deleteKey(path, "NewsSites", "kitchen"));
  EXPECT_EQ(readSection(path, "NewsSites", 1000), std::string("Harbour=http://h2/\0", 19));
  EXPECT_TRUE(deleteKey(dir.file("none.ini"), "NewsSites", "Harbour"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.ini"))) << "a delete creates no file";
}

// Without a directory the system would use the Windows directory; our
// bare names mean the current directory, as on Linux.
TEST(WindowsIniFileTest, BareFileNameIsInTheCurrentDirectory) {
  TempDir dir;
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const bool written = writeString("bare.ini", "S", "k", "v");
  const std::string read = readString("bare.ini", "S", "k", "", 100);
  std::filesystem::current_path(before);
  EXPECT_TRUE(written);
  EXPECT_EQ(read, "v");
  EXPECT_EQ(readWholeFile(dir.file("bare.ini")), "[S]\nk=v\n");
}

}  // namespace
}  // namespace korvo::ini
