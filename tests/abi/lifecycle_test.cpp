// Load, use and unload the built plug-in: the log it writes, the global
// settings it leaves behind, and a second load that starts afresh.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/limits.h"
#include "base/logger.h"
#include "platform/clock.h"
#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class LifecycleTest : public ::testing::Test {
 protected:
  std::string iniPath() const { return dir_.file("Korvo.ini"); }
  std::string logPath() const { return dir_.file("Korvolog.txt"); }
  void writeGlobals(const std::string& text) const { writeWholeFile(iniPath(), text); }

  // The messages of the log, after checking that every line is a time
  // stamp of local time between `from` and now, " --> " and the message.
  std::vector<std::string> logMessages(std::time_t from) const {
    const std::time_t to = std::time(nullptr);
    const std::string text = readWholeFile(logPath());
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "last line unfinished";
    std::vector<std::string> messages;
    for (const std::string& line : splitLines(text)) {
      EXPECT_GE(line.size(), 29u) << line;
      if (line.size() < 29) continue;
      const std::string stamp = line.substr(0, 24);
      bool inRange = false;
      for (std::time_t t = from; t <= to && !inRange; ++t)
        inRange = stamp == formatTimestamp(systemClock().localTime(static_cast<std::uint32_t>(t)));
      EXPECT_TRUE(inRange) << "stamp \"" << stamp << "\" is not local time of this run";
      EXPECT_EQ(line.substr(24, 5), " --> ") << line;
      messages.push_back(line.substr(29));
    }
    return messages;
  }

  TempDir dir_;
};

TEST_F(LifecycleTest, LogsAttachAndEachLifecycleCall) {
  writeGlobals("[Settings]\nDoLog=yes\n");
  const std::string hostIni = dir_.file("host.ini");
  writeWholeFile(hostIni, "[Meter]\nUpdateIntervall=600\n");
  const std::time_t start = std::time(nullptr);
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    lib->init();
    EXPECT_EQ(lib->dllstartup(0, 0), 0);
    EXPECT_EQ(lib->dllstartup(0, 0), 1);
    lib->src_load_settings(0, hostIni.c_str(), "Meter");
    // No log line from these.
    lib->getinfo(0);
    lib->getparam("GetItemTitle");
    lib->GetTitle(0);
    lib->GetItemTitle(0, "0");
    lib->GetTitleOfItems(0, "2");
    lib->pastemeter(0, 1);
    lib->input_configure(0, 0);
    lib->input_load_settings(0, 0, 0);
    lib->input_save_settings(0, 0, 0);

    lib->configure();
    EXPECT_EQ(lib->dlltype(), 5);
    lib->actionsprovided();
    lib->action(0, 5000, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    lib->action(0, 5001, 1, 0, 0, 0, 0, 0, 0, 0, 0);
    lib->src_save_settings(0, hostIni.c_str(), "Meter");
    lib->dllshutdown(1);
    lib->dllshutdown(0);
    lib->dllshutdown(99);
    EXPECT_EQ(logMessages(start).size(), 15u) << "each line is in the file at once";
  }
  EXPECT_EQ(logMessages(start), (std::vector<std::string>{
                                    "DLLMain()",
                                    "Kestrova - init()",
                                    "Kestrova - dllstartup()",
                                    "Kestrova - dllstartup()",
                                    "Kestrova - src_load_settings()",
                                    "Kestrova - configure()",
                                    "Kestrova - dlltype()",
                                    "Kestrova - actionsprovided()",
                                    "Kestrova - action()",
                                    "Kestrova - action()",
                                    "Click: nothing opened: the meter has no news site",
                                    "Kestrova - src_save_settings()",
                                    "Kestrova - dllshutdown()",
                                    "Kestrova - dllshutdown()",
                                    "Kestrova - dllshutdown()",
                                }));
}

// A CodePage value the plug-in does not know: one line in the log after
// the first, latin1 in use, and the value left as the user wrote it.
TEST_F(LifecycleTest, UnknownCodePageIsLoggedAndKept) {
  writeGlobals("[Settings]\nDoLog=yes\nCodePage=EBCDIC\n");
  const std::time_t start = std::time(nullptr);
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
  }
  EXPECT_EQ(logMessages(start), (std::vector<std::string>{
                                    "DLLMain()",
                                    "CodePage \"EBCDIC\" is not known, using latin1",
                                }));
  EXPECT_NE(readWholeFile(iniPath()).find("CodePage=EBCDIC\n"), std::string::npos);
}

// Sets an environment variable (or removes it, with null) for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1);
    else unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A display name that no X server answers to.
std::string absentDisplay() {
  for (int n = 99;; ++n)
    if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)))
      return ":" + std::to_string(n);
}

// The options dialog entry point where no window system is reachable: it
// logs its line, changes nothing, returns 0 at once, and the host lives on.
TEST_F(LifecycleTest, SourceConfigureWithoutADisplayLogsItsLineAndReturns) {
  const std::string absent = absentDisplay();
  for (const char* display : {static_cast<const char*>(nullptr), absent.c_str()}) {
    SCOPED_TRACE(display ? display : "DISPLAY unset");
    ScopedEnv env("DISPLAY", display);
    writeGlobals("[Settings]\nDoLog=yes\n[NewsSites]\nAlpha=http://alpha.test/rss\n");
    writeWholeFile(logPath(), "");
    const std::string hostIni = dir_.file("host.ini");
    writeWholeFile(hostIni, "[Meter]\nNewsSite=Alpha\nUpdateIntervall=600\n");
    const std::time_t start = std::time(nullptr);
    {
      PluginLibrary lib(dir_.path());
      ASSERT_TRUE(lib.loaded()) << lib.error();
      const int id = lib->dllstartup(0, 0);
      lib->src_load_settings(id, hostIni.c_str(), "Meter");
      EXPECT_EQ(lib->source_configure(id, 0), 0);
      EXPECT_EQ(lib->source_configure(id, 0), 0) << "and again";
      EXPECT_EQ(lib->source_configure(12345, 0), 0) << "an id never created";
      lib->src_save_settings(id, hostIni.c_str(), "Meter");
    }
    const auto messages = logMessages(start);
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(messages[3], "Kestrova - source_configure()");
    EXPECT_EQ(readWholeFile(iniPath()),
              "[Settings]\nDoLog=yes\nShowError=no\n[NewsSites]\nAlpha=http://alpha.test/rss\n");
    EXPECT_EQ(readWholeFile(hostIni),
              "[Meter]\nNewsSite=Alpha\nUpdateIntervall=600\nFilterUnicode=yes\nFilterHtml=yes\n"
              "ReplaceBr=yes\nToolTip=0\nToolTipItem=0\nInputClick=0\nInputClickItem=0\n");
  }
}

TEST_F(LifecycleTest, NoGlobalsFileGivesBothSwitchesNo) {
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    EXPECT_FALSE(std::filesystem::exists(iniPath())) << "written at unload, not at load";
    EXPECT_TRUE(std::filesystem::exists(logPath())) << "the log is opened whatever DoLog says";
    lib->init();
    lib.unload();
    EXPECT_FALSE(isMapped(lib.path())) << "dlclose left the library loaded";
    EXPECT_EQ(readWholeFile(iniPath()), "[Settings]\nShowError=no\nDoLog=no\n")
        << "detach ran during dlclose";
  }
  EXPECT_EQ(readWholeFile(logPath()), "");
}

TEST_F(LifecycleTest, LoggingOffAddsNoLine) {
  struct Case {
    const char* what;
    const char* globals;
    const char* after;  // switches written back as read, in place
  };
  const Case cases[] = {
      {"no", "[Settings]\nDoLog=no\n", "[Settings]\nDoLog=no\nShowError=no\n"},
      {"capital YES is off", "[Settings]\nShowError=YES\nDoLog=YES\n",
       "[Settings]\nShowError=no\nDoLog=no\n"},
      {"empty value keeps off", "[Settings]\nDoLog=\n", "[Settings]\nDoLog=no\nShowError=no\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeGlobals(c.globals);
    writeWholeFile(logPath(), "earlier line\n");
    {
      PluginLibrary lib(dir_.path());
      ASSERT_TRUE(lib.loaded()) << lib.error();
      lib->init();
      lib->dllshutdown(lib->dllstartup(0, 0));
      lib->configure();
    }
    EXPECT_EQ(readWholeFile(logPath()), "earlier line\n");
    EXPECT_EQ(readWholeFile(iniPath()), c.after);
  }
}

// Unload writes a switch only where its key is missing or still holds what
// attach read: a hand edit made while the library is loaded stays.
TEST_F(LifecycleTest, HandEditsWhileLoadedAreKept) {
  struct Case {
    const char* what;
    const char* atLoad;
    const char* edit;
    const char* after;
  };
  const Case cases[] = {
      {"an edited switch stays", "[Settings]\nShowError=no\nDoLog=no\n",
       "[Settings]\nShowError=yes\nDoLog=no\n", "[Settings]\nShowError=yes\nDoLog=no\n"},
      {"edits and additions stay",
       "[NewsSites]\nSlashdot=http://rss.slashdot.org/\n[Settings]\nShowError=yes\n",
       "[Settings]\nShowError=no\nDoLog=yes\n", "[Settings]\nShowError=no\nDoLog=yes\n"},
      {"a missing key is added", "[Settings]\nShowError=YES\nDoLog=yes\n",
       "[Settings]\nShowError=yes\n", "[Settings]\nShowError=yes\nDoLog=yes\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeGlobals(c.atLoad);
    {
      PluginLibrary lib(dir_.path());
      ASSERT_TRUE(lib.loaded()) << lib.error();
      writeGlobals(c.edit);
      // Wine's private-profile functions read a file again only when its
      // time changed: an edit in the same clock tick as the load would not
      // show there.
      std::filesystem::last_write_time(
          iniPath(), std::filesystem::last_write_time(iniPath()) + std::chrono::seconds(5));
    }
    EXPECT_EQ(readWholeFile(iniPath()), c.after);
  }
}

// A log that the next line would take past 1 MiB becomes Korvolog.old.txt.
TEST_F(LifecycleTest, AFullLogIsMovedAsideAndANewOneBegins) {
  writeGlobals("[Settings]\nDoLog=yes\n");
  const std::string full(limits::kMaxLogBytes - 10, 'x');
  writeWholeFile(logPath(), full);
  writeWholeFile(dir_.file("Korvolog.old.txt"), "an older log\n");
  const std::time_t start = std::time(nullptr);
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    lib->init();
  }
  EXPECT_EQ(logMessages(start), (std::vector<std::string>{"DLLMain()", "Kestrova - init()"}));
  EXPECT_TRUE(readWholeFile(dir_.file("Korvolog.old.txt")) == full) << "the full log, whole";
}

TEST_F(LifecycleTest, SecondLoadAppendsAndStartsAfresh) {
  writeGlobals("[Settings]\nDoLog=yes\n");
  const std::time_t start = std::time(nullptr);
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    EXPECT_EQ(lib->dllstartup(0, 0), 0);
    EXPECT_EQ(lib->dllstartup(0, 0), 1);
    EXPECT_EQ(lib->dllstartup(0, 0), 2);
  }
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    EXPECT_EQ(lib->dllstartup(0, 0), 0) << "meter ids start at 0 after each load";
    lib.unload();
    EXPECT_FALSE(isMapped(lib.path()));
  }
  EXPECT_EQ(logMessages(start), (std::vector<std::string>{
                                    "DLLMain()",
                                    "Kestrova - dllstartup()",
                                    "Kestrova - dllstartup()",
                                    "Kestrova - dllstartup()",
                                    "DLLMain()",
                                    "Kestrova - dllstartup()",
                                }));
}

// A host may open the library by a relative name and change its working
// directory later; the files must stay beside the library.
TEST_F(LifecycleTest, RelativeLoadNameKeepsFilesBesideTheLibrary) {
  for (const char* sub : {"", "plugins/"}) {
    SCOPED_TRACE(std::string("./") + sub + "libkorvo.so");
    TempDir work;
    std::filesystem::create_directories(work.file(sub));
    std::filesystem::create_directory(work.file("elsewhere"));
    std::filesystem::copy_file(KORVO_PLUGIN_PATH, work.file(std::string(sub) + "libkorvo.so"));
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(work.path());
    void* handle = dlopen(("./" + std::string(sub) + "libkorvo.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    std::filesystem::current_path(work.file("elsewhere"));
    if (handle != nullptr) dlclose(handle);
    std::filesystem::current_path(before);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(readWholeFile(work.file(std::string(sub) + "Korvo.ini")),
              "[Settings]\nShowError=no\nDoLog=no\n");
    EXPECT_TRUE(std::filesystem::is_empty(work.file("elsewhere")));
  }
}

TEST_F(LifecycleTest, UnwritablePlacesDoNotStopTheLibrary) {
  // Both files are directories: nothing can be read or written, and the
  // plug-in must work all the same.
  std::filesystem::create_directory(iniPath());
  std::filesystem::create_directory(logPath());
  PluginLibrary lib(dir_.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  EXPECT_EQ(lib->dllstartup(0, 0), 0);
  EXPECT_EQ(lib->dllstartup(0, 0), 1) << "the plug-in's state exists";
  EXPECT_STREQ(lib->GetTitle(0), "");
  lib.unload();
  EXPECT_TRUE(std::filesystem::is_directory(iniPath()));
}

}  // namespace
}  // namespace korvo::test
