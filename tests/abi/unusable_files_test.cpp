// Settings and log files that cannot be used as files, through the built
// plug-in: missing paths, directories, FIFOs, dangling symbolic links,
// paths under a regular file, unreadable files, and a library directory
// that cannot be written. Every call returns at once, nothing crashes, and
// whatever can be read is read.
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/child_process.h"
#include "support/plugin_library.h"
#include "support/prerequisite.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

// What src_save_settings writes for a meter with default settings.
constexpr const char* kDefaultSettings =
    "[M]\nNewsSite=\nUpdateIntervall=180\nFilterUnicode=yes\nFilterHtml=yes\nReplaceBr=yes\n"
    "ToolTip=0\nToolTipItem=0\nInputClick=0\nInputClickItem=0\n";

std::string savedSettings(const PluginExports& api, int id, const std::string& file) {
  writeWholeFile(file, "");
  api.src_save_settings(id, file.c_str(), "M");
  return readWholeFile(file);
}

std::string kindOf(const std::string& path) {
  std::error_code ec;
  const fs::file_status link = fs::symlink_status(path, ec);
  if (fs::is_symlink(link)) return fs::exists(path, ec) ? "symlink to a file" : "dangling symlink";
  if (!fs::exists(link)) return "missing";
  if (fs::is_directory(link)) return "directory";
  if (fs::is_fifo(link)) return "fifo";
  if (fs::is_regular_file(link)) return "file";
  return "other";
}

TEST(UnusableFilesTest, HostFilesThatAreNoFilesLeaveTheDefaults) {
  TempDir dir;
  writeWholeFile(dir.file("plain.txt"), "[A]\nNewsSite=x\n");
  fs::create_directory(dir.file("adir"));
  ASSERT_EQ(mkfifo(dir.file("fifo.ini").c_str(), 0644), 0);
  fs::create_symlink(dir.file("nowhere/target.ini"), dir.file("dangling.ini"));
  struct Case {
    const char* what;
    std::string path;
    const char* kindAfter;  // what the path is after a save
  } cases[] = {
      {"missing directory", dir.file("none/host.ini"), "missing"},
      {"a directory", dir.file("adir"), "directory"},
      {"a FIFO", dir.file("fifo.ini"), "fifo"},
      {"a symlink into a missing directory", dir.file("dangling.ini"), "dangling symlink"},
      {"under a regular file", dir.file("plain.txt/host.ini"), "missing"},
      {"unreadable even for root", "/proc/self/mem", "file"},
      {"empty name", "", "missing"},
  };
  PluginLibrary lib(dir.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int id = lib->dllstartup(0, 0);
    const auto start = SteadyClock::now();
    EXPECT_EQ(lib->src_load_settings(id, c.path.c_str(), "A"), 0);
    EXPECT_EQ(lib->src_save_settings(id, c.path.c_str(), "A"), 0);
    EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(2));
    EXPECT_STREQ(lib->GetTitle(id), "");
    EXPECT_EQ(savedSettings(*lib, id, dir.file("saved.ini")), kDefaultSettings);
    if (!c.path.empty()) {
      EXPECT_EQ(kindOf(c.path), c.kindAfter);
    }
    EXPECT_EQ(lib->dllshutdown(id), 0);
  }
  EXPECT_EQ(readWholeFile(dir.file("plain.txt")), "[A]\nNewsSite=x\n");
  EXPECT_TRUE(fs::is_empty(dir.file("adir")));
}

// A host file reached through a symbolic link is read and written through
// the link: the link stays, the file it names gets the settings.
TEST(UnusableFilesTest, HostFilesBehindSymbolicLinksAreWrittenThrough) {
  TempDir dir;
  fs::create_directory(dir.file("real"));
  writeWholeFile(dir.file("real/host.ini"), "[Other]\nkey=kept\n[A]\nUpdateIntervall=600\n");
  fs::create_symlink("real/host.ini", dir.file("link.ini"));
  fs::create_symlink(dir.file("real/new.ini"), dir.file("dangling.ini"));
  PluginLibrary lib(dir.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  const int id = lib->dllstartup(0, 0);
  lib->src_load_settings(id, dir.file("link.ini").c_str(), "A");
  lib->src_save_settings(id, dir.file("link.ini").c_str(), "A");
  lib->src_save_settings(id, dir.file("dangling.ini").c_str(), "A");
  EXPECT_EQ(kindOf(dir.file("link.ini")), "symlink to a file");
  EXPECT_EQ(kindOf(dir.file("dangling.ini")), "symlink to a file");
  const std::string saved = readWholeFile(dir.file("real/host.ini"));
  EXPECT_EQ(saved.rfind("[Other]\nkey=kept\n[A]\nUpdateIntervall=600\nNewsSite=\n", 0), 0u) << saved;
  EXPECT_NE(readWholeFile(dir.file("real/new.ini")).find("UpdateIntervall=600\n"),
            std::string::npos);
}

// The plug-in's own two files as things that cannot be opened as files:
// loading, a query and unloading must all return.
TEST(UnusableFilesTest, GlobalFilesThatAreNoFilesDoNotHang) {
  struct Case {
    const char* what;
    const char* name;  // Korvo.ini or Korvolog.txt
    void (*make)(const std::string& path);
  } cases[] = {
      {"settings file is a FIFO", "Korvo.ini",
       [](const std::string& p) { mkfifo(p.c_str(), 0644); }},
      {"log file is a FIFO", "Korvolog.txt",
       [](const std::string& p) { mkfifo(p.c_str(), 0644); }},
      {"settings file is a dangling symlink", "Korvo.ini",
       [](const std::string& p) { fs::create_symlink("gone/Korvo.ini", p); }},
      {"log file is a dangling symlink", "Korvolog.txt",
       [](const std::string& p) { fs::create_symlink("gone/Korvolog.txt", p); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    c.make(dir.file(c.name));
    const std::string kindBefore = kindOf(dir.file(c.name));
    const ChildResult child = runInChild(
        [&]() -> std::string {
          PluginLibrary lib(dir.path());
          if (!lib.loaded()) return "not loaded: " + lib.error();
          const int id = lib->dllstartup(0, 0);
          std::string report = "started " + std::to_string(id);
          report += " title '" + std::string(lib->GetTitle(id)) + "'";
          lib.unload();
          return report + " unloaded";
        },
        20000);
    ASSERT_TRUE(child.started);
    EXPECT_FALSE(child.timedOut) << "the plug-in hung";
    EXPECT_EQ(child.report, "started 0 title '' unloaded");
    EXPECT_EQ(kindOf(dir.file(c.name)), kindBefore);
  }
}

// Makes directory read-only for this process, even for root: a read-only
// bind mount in a mount namespace of its own when the system allows it,
// else the immutable attribute, else a file size limit of 0. Returns how,
// or "" when nothing worked. Meant for a child process.
std::string makeUnwritable(const std::string& directory) {
  if (unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
      mount(directory.c_str(), directory.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
      mount(nullptr, directory.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0)
    return "read-only mount";
  ProgramRun chattr;
  chattr.args = {"/usr/bin/chattr", "+i", directory};
  if (fs::exists(chattr.args[0]) && runProgram(chattr).exitCode == 0) return "immutable";
  signal(SIGXFSZ, SIG_IGN);
  const struct rlimit none = {0, 0};
  if (setrlimit(RLIMIT_FSIZE, &none) == 0) return "file size limit";
  return "";
}

TEST(UnusableFilesTest, AReadOnlyLibraryDirectoryStillLoadsEverySetting) {
  TempDir libDir, hostDir;
  const std::string globals =
      "[Settings]\nShowError=yes\nDoLog=yes\n[NewsSites]\nDead=http://127.0.3.11/feed.xml\n";
  writeWholeFile(libDir.file("Korvo.ini"), globals);
  fs::copy_file(KORVO_PLUGIN_PATH, libDir.file("libkorvo.so"));
  const std::string hostIni = hostDir.file("host.ini");
  writeWholeFile(hostIni, "[A]\nNewsSite=Dead\nUpdateIntervall=600\nToolTip=1\nFilterHtml=no\n");

  const ChildResult child = runInChild(
      [&]() -> std::string {
        const std::string how = makeUnwritable(libDir.path());
        if (how.empty()) return "skip: no way to make a directory read-only here";
        std::string report = how + ":";
        {
          PluginLibrary lib(libDir.path());
          if (!lib.loaded()) return report + " not loaded: " + lib.error();
          const int id = lib->dllstartup(0, 0);
          lib->src_load_settings(id, hostIni.c_str(), "A");
          // ShowError from the global file, the site's URL from it, the
          // tooltip from the host's file.
          report += std::string(" title '") + lib->GetTitle(id) + "'";
          lib->src_save_settings(id, hostIni.c_str(), "Saved");
          lib->dllshutdown(id);
        }
        return report + " unloaded";
      },
      30000);
  ASSERT_TRUE(child.started);
  ASSERT_FALSE(child.timedOut) << "the plug-in hung";
  ProgramRun undo;
  undo.args = {"/usr/bin/chattr", "-i", libDir.path()};
  if (child.report.rfind("immutable", 0) == 0) runProgram(undo);
  if (child.report.rfind("skip: ", 0) == 0) KORVO_SKIP_FOR_PREREQUISITE() << child.report;

  const std::string how = child.report.substr(0, child.report.find(':'));
  EXPECT_EQ(child.report, how + ": title 'Unable to connect%ttUnable to connect' unloaded");
  EXPECT_EQ(readWholeFile(libDir.file("Korvo.ini")), globals) << "left as it was";
  EXPECT_EQ(readWholeFile(libDir.file("Korvolog.txt")), "") << "no line could be written";
  if (how == "file size limit") return;  // binds the host's file too
  EXPECT_NE(readWholeFile(hostIni).find("[Saved]\nNewsSite=Dead\nUpdateIntervall=600\n"),
            std::string::npos)
      << "the host's own file is still written";
  EXPECT_EQ(kindOf(libDir.file("Korvolog.txt")), "missing");
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(libDir.path())) entries += entry.exists();
  EXPECT_EQ(entries, 2u) << "nothing left behind";
}

}  // namespace
}  // namespace korvo::test
