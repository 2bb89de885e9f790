// The global INI file is never lost: not when the writing process is
// killed at any moment of a write, not when the disk is full, and not
// because of the temporary files a killed writer leaves behind.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/ini_file.h"
#include "support/child_process.h"
#include "support/prerequisite.h"
#include "support/temp_dir.h"

namespace korvo::ini {
namespace {

using test::readWholeFile;
using test::writeWholeFile;

constexpr std::size_t kBuffer = 1024;

std::string siteName(int k) { return "Site" + std::to_string(k); }
std::string siteUrl(int k) {
  return "http://news" + std::to_string(k) + ".test/" + std::string(k % 50, 'p') + "/rss.xml";
}

// Files in dir other than the INI file itself.
std::vector<std::string> strayFiles(const std::string& dir, const std::string& keep) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename() != keep) names.push_back(entry.path().filename().string());
  return names;
}

// The number of sites Site0, Site1, ... in a row that the file holds with
// their right values; every check of the file's other content on the way.
int wholeSites(const std::string& path) {
  EXPECT_EQ(readString(path, "Settings", "ShowError", "lost", kBuffer), "yes");
  EXPECT_EQ(readString(path, "Settings", "DoLog", "lost", kBuffer), "no");
  int k = 0;
  while (readString(path, "NewsSites", siteName(k), "", kBuffer) == siteUrl(k)) ++k;
  EXPECT_EQ(readString(path, "NewsSites", siteName(k + 1), "", kBuffer), "")
      << "a site after a gap";
  return k;
}

// Writers killed at random moments, many times over: after every kill the
// file is whole and holds every site that a finished write put there (and
// at most the one whose write had finished when the kill came). The delay
// before each kill counts from the writer's start, however slowly the
// process came up; a kill that leaves a temporary file behind shows that
// it landed in the middle of a write, and at least one must.
TEST(IniFileSafetyTest, AKilledWriterNeverLosesASite) {
  test::TempDir dir;
  const std::string path = dir.file("Korvo.ini");
  writeWholeFile(path, "[Settings]\nShowError=yes\nDoLog=no\n[NewsSites]\n");
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> delayUs(0, 6000);
  constexpr int kRounds = 150;
  constexpr int kStartGuardMs = 60000;  // a hang guard: a writer starts in milliseconds
  int killedWithTemporaryFile = 0;
  int sites = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int start = sites;
    const std::size_t straysBefore = strayFiles(dir.path(), "Korvo.ini").size();
    // Says 's' as it starts and 'w' after each write.
    test::Child writer([&](int reportFd) {
      const char started = 's';
      if (write(reportFd, &started, 1) != 1) _exit(4);
      for (int k = start;; ++k) {
        if (!writeString(path, "NewsSites", siteName(k), siteUrl(k))) _exit(3);
        const char done = 'w';
        if (write(reportFd, &done, 1) != 1) _exit(4);
      }
    });
    ASSERT_TRUE(writer.started());
    ASSERT_TRUE(writer.waitForOutput(kStartGuardMs)) << "the writer did not start";
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    writer.kill();
    const std::string said = writer.readAvailable();
    ASSERT_EQ(said.substr(0, 1), "s");
    const int finished = static_cast<int>(std::count(said.begin(), said.end(), 'w'));

    sites = wholeSites(path);
    ASSERT_GE(sites, start + finished) << "a finished write was lost";
    ASSERT_LE(sites, start + finished + 1);
    if (strayFiles(dir.path(), "Korvo.ini").size() > straysBefore) ++killedWithTemporaryFile;
  }
  std::printf("%d sites written; %d of %d kills left a temporary file behind\n", sites,
              killedWithTemporaryFile, kRounds);
  EXPECT_GT(sites, 0);
  EXPECT_GT(killedWithTemporaryFile, 0) << "no kill came in the middle of a write";

  // Whatever the killed writers left behind, later writes and reads work.
  ASSERT_TRUE(writeString(path, "NewsSites", siteName(sites), siteUrl(sites)));
  EXPECT_EQ(wholeSites(path), sites + 1);
  ASSERT_TRUE(deleteKey(path, "NewsSites", siteName(sites)));
  EXPECT_EQ(wholeSites(path), sites);
}

TEST(IniFileSafetyTest, LeftoverTemporaryFilesDoNotDisturbReadsOrWrites) {
  test::TempDir dir;
  const std::string path = dir.file("Korvo.ini");
  const std::string text = "[Settings]\nShowError=yes\nDoLog=no\n[NewsSites]\nA=http://a.test/x\n";
  writeWholeFile(path, text);
  // What killed writers leave: half-written and empty copies under the
  // names the writer uses, and one that is not even a file.
  writeWholeFile(path + ".a1B2c3", "[Settings]\nShowError=no\n[NewsSi");
  writeWholeFile(path + ".000000", "");
  std::filesystem::create_directory(path + ".XXXXXX");
  const auto leftovers = strayFiles(dir.path(), "Korvo.ini");

  EXPECT_EQ(readString(path, "Settings", "ShowError", "", kBuffer), "yes");
  EXPECT_EQ(readSectionNames(path), (std::vector<std::string>{"Settings", "NewsSites"}));
  for (int k = 0; k < 200; ++k) ASSERT_TRUE(writeString(path, "NewsSites", siteName(k), siteUrl(k)));
  EXPECT_EQ(readString(path, "NewsSites", "A", "", kBuffer), "http://a.test/x");
  EXPECT_EQ(wholeSites(path), 200);
  EXPECT_EQ(strayFiles(dir.path(), "Korvo.ini"), leftovers) << "writes leave nothing new behind";
  EXPECT_EQ(readWholeFile(path + ".a1B2c3"), "[Settings]\nShowError=no\n[NewsSi");
}

// A file system that is full: the write fails, says so, and the old file
// stays as it was with nothing left beside it. Runs in a child with a
// mount namespace of its own, so the small file system goes with it.
TEST(IniFileSafetyTest, AFullDiskLeavesTheOldFile) {
  test::TempDir dir;
  const std::string mountPoint = dir.file("full");
  std::filesystem::create_directory(mountPoint);
  const test::ChildResult child = test::runInChild(
      [&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0) return std::string("skip: unshare: ") + std::strerror(errno);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
          return std::string("skip: private mounts: ") + std::strerror(errno);
        if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
          return std::string("skip: tmpfs: ") + std::strerror(errno);
        const std::string path = mountPoint + "/Korvo.ini";
        std::string text = "[Settings]\nShowError=yes\nDoLog=no\n[NewsSites]\n";
        for (int k = 0; k < 100; ++k) text += siteName(k) + "=" + siteUrl(k) + "\n";
        writeWholeFile(path, text);
        // Fill what is left of the file system.
        {
          std::FILE* filler = std::fopen((mountPoint + "/filler").c_str(), "wb");
          if (filler == nullptr) return "cannot make the filler";
          const std::string block(512, 'f');
          while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
          }
          std::fclose(filler);
        }
        std::string report;
        report += writeString(path, "NewsSites", "New", std::string(300, 'n')) ? "written" : "refused";
        report += readWholeFile(path) == text ? " old file whole" : " old file changed";
        report += " strays:" + std::to_string(strayFiles(mountPoint, "Korvo.ini").size() - 1);
        // Room again: the next write goes through.
        std::filesystem::remove(mountPoint + "/filler");
        report += writeString(path, "NewsSites", "New", "http://new.test/") ? " then written"
                                                                           : " then refused";
        report += readString(path, "NewsSites", siteName(99), "", kBuffer) == siteUrl(99)
                      ? " sites kept"
                      : " sites lost";
        return report;
      },
      30000);
  ASSERT_TRUE(child.started);
  ASSERT_FALSE(child.timedOut);
  if (child.report.rfind("skip: ", 0) == 0) KORVO_SKIP_FOR_PREREQUISITE() << child.report;
  EXPECT_EQ(child.report, "refused old file whole strays:0 then written sites kept");
}

// A write through a symbolic link replaces the file the link names and
// keeps the link; a loop of links is refused, not followed for ever.
TEST(IniFileSafetyTest, WritesGoThroughSymbolicLinks) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.file("real"));
  writeWholeFile(dir.file("real/Korvo.ini"), "[NewsSites]\nA=http://a.test/x\n");
  std::filesystem::create_symlink("real/Korvo.ini", dir.file("hop2"));
  std::filesystem::create_symlink(dir.file("hop2"), dir.file("Korvo.ini"));
  ASSERT_TRUE(writeString(dir.file("Korvo.ini"), "NewsSites", "B", "http://b.test/y"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("Korvo.ini")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("hop2")));
  EXPECT_EQ(readWholeFile(dir.file("real/Korvo.ini")),
            "[NewsSites]\nA=http://a.test/x\nB=http://b.test/y\n");
  ASSERT_TRUE(deleteKey(dir.file("Korvo.ini"), "NewsSites", "A"));
  EXPECT_EQ(readWholeFile(dir.file("real/Korvo.ini")), "[NewsSites]\nB=http://b.test/y\n");
  EXPECT_EQ(strayFiles(dir.file("real"), "Korvo.ini"), std::vector<std::string>{});

  std::filesystem::create_symlink("loop2", dir.file("loop1"));
  std::filesystem::create_symlink("loop1", dir.file("loop2"));
  EXPECT_FALSE(writeString(dir.file("loop1"), "S", "k", "v"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("loop1")));
  EXPECT_EQ(readString(dir.file("loop1"), "S", "k", "none", kBuffer), "none");
}

}  // namespace
}  // namespace korvo::ini
