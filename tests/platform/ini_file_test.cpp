#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace korvo::ini {
namespace {

using test::readWholeFile;
using test::TempDir;
using test::writeWholeFile;

class IniFileTest : public ::testing::Test {
 protected:
  // Writes the file's text and returns its path.
  std::string file(const std::string& text) {
    writeWholeFile(path_, text);
    return path_;
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      names.push_back(e.path().filename().string());
    return names;
  }

  TempDir dir_;
  std::string path_ = dir_.file("test.ini");
};

TEST_F(IniFileTest, ReadString) {
  struct Case {
    const char* what;
    std::string text;
    const char* section;
    const char* key;
    const char* def;
    std::size_t buffer;
    std::string expected;
  };
  const std::string sites = "[NewsSites]\nSlashdot=http://rss.slashdot.org/\n";
  const Case cases[] = {
      {"plain", sites, "NewsSites", "Slashdot", "none", 1024, "http://rss.slashdot.org/"},
      {"names in any case", sites, "NEWSSITES", "slashDOT", "none", 1024, "http://rss.slashdot.org/"},
      {"blanks around names and value", "[ Settings ]\n  DoLog \t=  yes  \n", "Settings", "DoLog",
       "", 1024, "yes"},
      {"blanks around the asked names", "[Settings]\nDoLog=yes\n", " Settings ", "\tDoLog ", "",
       1024, "yes"},
      {"missing key", sites, "NewsSites", "Heise", "none", 1024, "none"},
      {"missing section", sites, "Settings", "Slashdot", "none", 1024, "none"},
      {"key of another section", "[A]\nk=1\n[B]\nj=2\n", "B", "k", "def", 1024, "def"},
      {"present but empty", "[S]\nk=\n", "S", "k", "def", 1024, ""},
      {"value cut to buffer - 1", "[S]\nk=abcdef\n", "S", "k", "", 4, "abc"},
      {"default cut to buffer - 1", "", "S", "k", "abcdef", 3, "ab"},
      {"buffer of one byte", "[S]\nk=abc\n", "S", "k", "", 1, ""},
      {"value holding =", "[S]\nk=a=b\n", "S", "k", "", 1024, "a=b"},
      {"quotes removed", "[S]\nk=\"a b\"\n", "S", "k", "", 1024, "a b"},
      {"comment is no key", "[S]\n;k=1\n", "S", "k", "def", 1024, "def"},
      {"first of two keys", "[S]\nk=1\nK=2\n", "S", "k", "", 1024, "1"},
      {"CRLF lines", "[S]\r\nk=v\r\nj=w\r\n", "S", "k", "", 1024, "v"},
      {"no final line end", "[S]\nk=v", "S", "k", "", 1024, "v"},
      {"byte order mark", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "def", 1024, "v"},
      {"8-bit bytes kept", "[S]\nk=Gr\xFC\xDF" "e\n", "S", "k", "", 1024, "Gr\xFC\xDF" "e"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(readString(file(c.text), c.section, c.key, c.def, c.buffer), c.expected);
  }
}

TEST_F(IniFileTest, ReadStringWithoutFile) {
  EXPECT_EQ(readString(dir_.file("missing.ini"), "S", "k", "def", 1024), "def");
  EXPECT_EQ(readString(dir_.path(), "S", "k", "def", 1024), "def") << "a directory reads as empty";
}

TEST_F(IniFileTest, ReadInt) {
  struct Case {
    const char* value;  // null: no key at all
    int expected;
  };
  const Case cases[] = {
      {"42", 42},
      {"-17", -17},
      {"+5", 5},
      {"  7  ", 7},
      {"12abc", 12},
      {"3 4", 3},
      {"abc", 0},
      {"-", 0},
      {"0x10", 0},
      {"\"12\"", 12},
      {"", -1},
      {nullptr, -1},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", INT_MAX},
      {"99999999999999999999999", INT_MAX},
      {"-99999999999999999999999", INT_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(no key)");
    std::string text = "[S]\n";
    if (c.value) text += std::string("n=") + c.value + "\n";
    EXPECT_EQ(readInt(file(text), "S", "N", -1), c.expected);
  }
  EXPECT_EQ(readInt(dir_.file("missing.ini"), "S", "n", 9), 9);
}

TEST_F(IniFileTest, ReadSection) {
  const std::string text =
      "[Other]\nx=1\n"
      "[NewsSites]\n"
      "; a comment\n"
      "\n"
      "  Slashdot = http://a/ \n"
      "Heise=http://b/\n"
      "lonely\n"
      "[Next]\ny=2\n";
  using namespace std::string_literals;
  const std::string whole = "Slashdot=http://a/\0Heise=http://b/\0lonely\0"s;
  EXPECT_EQ(readSection(file(text), "newssites", 1024), whole);
  EXPECT_EQ(readSection(path_, "NewsSites", whole.size() + 1), whole) << "fits exactly";
  EXPECT_EQ(readSection(path_, "NewsSites", whole.size()), whole.substr(0, whole.size() - 2))
      << "one byte short: cut, size is buffer - 2";
  EXPECT_EQ(readSection(path_, "NewsSites", 10), whole.substr(0, 8));
  EXPECT_EQ(readSection(path_, "NewsSites", 1), "");
  EXPECT_EQ(readSection(path_, "Missing", 1024), "");
  EXPECT_EQ(readSection(file("[Empty]\n[Full]\na=b\n"), "Empty", 1024), "");
  EXPECT_EQ(readSection(dir_.file("missing.ini"), "NewsSites", 1024), "");
}

TEST_F(IniFileTest, ReadSectionNames) {
  EXPECT_EQ(readSectionNames(file("; top\n[Meter1]\nFunction=GetTitle\n[ Meter 2 ]\n\n[empty]\n"
                                  "[METER1]\nx=1\n")),
            (std::vector<std::string>{"Meter1", "Meter 2", "empty"}));
  EXPECT_TRUE(readSectionNames(file("k=v\n")).empty());
  EXPECT_TRUE(readSectionNames(dir_.file("missing.ini")).empty());
  EXPECT_TRUE(readSectionNames(dir_.path()).empty());
}

// Each case writes one key into `before` and expects exactly `after`.
TEST_F(IniFileTest, WriteString) {
  struct Case {
    const char* what;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  };
  const std::string rich =
      "; Korvo settings\n"
      "\n"
      "[Settings]\n"
      "ShowError = yes ; odd but kept\n"
      "DoLog=no\n"
      "\n"
      "; sites follow\n"
      "[NewsSites]\n"
      "DoLog=http://c/\n";
  const Case cases[] = {
      {"new section in empty file", "", "Settings", "DoLog", "yes", "[Settings]\nDoLog=yes\n"},
      {"new section after last line without line end", "[A]\nk=v", "B", "j", "w",
       "[A]\nk=v\n[B]\nj=w\n"},
      {"value replaced in place, all else kept", rich, "settings", "DOLOG", "yes",
       "; Korvo settings\n\n[Settings]\nShowError = yes ; odd but kept\nDoLog=yes\n\n"
       "; sites follow\n[NewsSites]\nDoLog=http://c/\n"},
      {"new key after the section's last entry", rich, "Settings", "Extra", "1",
       "; Korvo settings\n\n[Settings]\nShowError = yes ; odd but kept\nDoLog=no\nExtra=1\n\n"
       "; sites follow\n[NewsSites]\nDoLog=http://c/\n"},
      {"new key in an empty section", "[A]\n[B]\nk=v\n", "A", "n", "1", "[A]\nn=1\n[B]\nk=v\n"},
      {"new key in the last section without line end", "[A]\nk=v", "A", "j", "w",
       "[A]\nk=v\nj=w\n"},
      {"CRLF file keeps CRLF", "[A]\r\nk=v\r\n\r\n[B]\r\nx=1\r\n", "A", "k", "new",
       "[A]\r\nk=new\r\n\r\n[B]\r\nx=1\r\n"},
      {"CRLF file gets CRLF lines", "[A]\r\nk=v\r\n", "A", "j", "w", "[A]\r\nk=v\r\nj=w\r\n"},
      {"CRLF file gets a CRLF section", "[A]\r\nk=v\r\n", "B", "j", "w",
       "[A]\r\nk=v\r\n[B]\r\nj=w\r\n"},
      {"names and value trimmed", "", " S ", " k ", " v ", "[S]\nk=v\n"},
      {"asked names trimmed before matching", "[S]\nk=old\n", " s ", " K ", "new", "[S]\nk=new\n"},
      {"empty value", "[S]\nk=old\n", "S", "k", "", "[S]\nk=\n"},
      {"byte order mark kept", "\xEF\xBB\xBF[S]\nk=old\n", "S", "k", "new",
       "\xEF\xBB\xBF[S]\nk=new\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(writeString(file(c.before), c.section, c.key, c.value));
    EXPECT_EQ(readWholeFile(path_), c.after);
    std::string value = c.value;
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of(' ') + 1);
    EXPECT_EQ(readString(path_, c.section, c.key, "(missing)", 1024), value);
  }
}

TEST_F(IniFileTest, WriteThenReadBack) {
  ASSERT_TRUE(writeString(path_, "NewsSites", "Slashdot", "http://rss.slashdot.org/"));
  ASSERT_TRUE(writeString(path_, "NewsSites", "Heise", "http://heise.de/rss"));
  ASSERT_TRUE(writeString(path_, "Settings", "DoLog", "yes"));
  ASSERT_TRUE(writeString(path_, "newssites", "slashdot", "http://new/"));
  EXPECT_EQ(readString(path_, "NewsSites", "Slashdot", "", 1024), "http://new/");
  EXPECT_EQ(readString(path_, "NewsSites", "Heise", "", 1024), "http://heise.de/rss");
  EXPECT_EQ(readString(path_, "Settings", "DoLog", "", 1024), "yes");
  EXPECT_EQ(readWholeFile(path_),
            "[NewsSites]\nSlashdot=http://new/\nHeise=http://heise.de/rss\n[Settings]\nDoLog=yes\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"test.ini"}) << "no temporary file left behind";
}

TEST_F(IniFileTest, WriteKeepsFileMode) {
  file("[S]\nk=v\n");
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  ASSERT_TRUE(writeString(path_, "S", "k", "w"));
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(IniFileTest, RefusedWritesLeaveTheFile) {
  struct Case {
    const char* what;
    const char* section;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"line feed in value", "S", "k", "a\nb"},
      {"carriage return in value", "S", "k", "a\rb"},
      {"line feed in key", "S", "k\nx", "v"},
      {"line feed in section", "S\n[T]", "k", "v"},
      {"= in key", "S", "a=b", "v"},
      {"empty key", "S", "  ", "v"},
      {"key that reads as a section", "S", "[T]", "v"},
      {"key that reads as a comment", "S", ";k", "v"},
      {"] in section", "a]b", "k", "v"},
  };
  const std::string before = "[S]\nk=old\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(writeString(file(before), c.section, c.key, c.value));
    EXPECT_EQ(readWholeFile(path_), before);
  }
}

TEST_F(IniFileTest, FailedWritesReportFalse) {
  // Root may write anywhere; these places cannot hold a file for anyone.
  EXPECT_FALSE(writeString("", "S", "k", "v")) << "no file name";
  const std::string noDir = dir_.file("missing/test.ini");
  EXPECT_FALSE(writeString(noDir, "S", "k", "v"));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));

  const std::string plain = file("[S]\nk=v\n");
  EXPECT_FALSE(writeString(plain + "/test.ini", "S", "k", "v")) << "parent is a regular file";
  EXPECT_EQ(readWholeFile(plain), "[S]\nk=v\n");

  const std::string asDir = dir_.file("dir.ini");
  ASSERT_TRUE(std::filesystem::create_directory(asDir));
  std::filesystem::create_directory(asDir + "/inside");
  EXPECT_FALSE(writeString(asDir, "S", "k", "v"));
  EXPECT_FALSE(deleteKey(asDir, "S", "k"));
  EXPECT_TRUE(std::filesystem::is_directory(asDir + "/inside")) << "the directory is left alone";
  EXPECT_EQ(entries().size(), 2u) << "no temporary file left behind";
}

// A write that breaks off half way (here: the file size limit, which binds
// root too) must leave the old file whole.
TEST_F(IniFileTest, WriteThatBreaksOffKeepsOldFile) {
  const std::string before = "[S]\nk=" + std::string(200, 'o') + "\n[T]\nj=w\n";
  file(before);
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 64;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool ok = writeString(path_, "S", "k", std::string(300, 'n'));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_EQ(readWholeFile(path_), before);
  EXPECT_EQ(entries(), std::vector<std::string>{"test.ini"}) << "temporary file removed";
}

TEST_F(IniFileTest, DeleteKey) {
  const std::string text = "; c\n[A]\nk=1\nK2 = 2\n\n[B]\nk=3\n";
  EXPECT_TRUE(deleteKey(file(text), " a ", "K"));
  EXPECT_EQ(readWholeFile(path_), "; c\n[A]\nK2 = 2\n\n[B]\nk=3\n");
  EXPECT_EQ(readString(path_, "A", "k", "gone", 1024), "gone");
  EXPECT_EQ(readString(path_, "B", "k", "", 1024), "3");

  EXPECT_TRUE(deleteKey(file("[A]\r\nk=1\r\nj=2"), "A", "j"));
  EXPECT_EQ(readWholeFile(path_), "[A]\r\nk=1\r\n");

  for (const char* section : {"A", "Missing"}) {
    SCOPED_TRACE(section);
    EXPECT_TRUE(deleteKey(file(text), section, "absent")) << "already as asked";
    EXPECT_EQ(readWholeFile(path_), text);
  }
  const std::string missing = dir_.file("missing.ini");
  EXPECT_TRUE(deleteKey(missing, "A", "k"));
  EXPECT_FALSE(std::filesystem::exists(missing)) << "no file made to delete from";
}

}  // namespace
}  // namespace korvo::ini
