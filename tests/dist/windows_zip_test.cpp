// The Windows zips as a user installs one: unpacked into a folder of its
// own, which then holds the zip's three files and nothing else, and loaded
// from there by a host under Wine (korvo-host.exe of the same build), which
// reads a loopback feed through the zip's own Korvo.ini.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/version.h"
#include "package_files.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;

struct WindowsBuild {
  const char* arch;      // as the zip's name says it
  std::uint16_t machine;  // the DLL's PE machine
  const char* buildDir;  // where make windows built it
};

std::set<std::string> filesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

// The machine field of a PE image's file header; 0 when it is none.
std::uint16_t peMachine(const std::string& image) {
  if (image.size() < 0x40 || image.compare(0, 2, "MZ") != 0) return 0;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(image[at]); };
  const std::size_t pe = byte(0x3c) | byte(0x3d) << 8 | byte(0x3e) << 16 |
                         static_cast<std::size_t>(byte(0x3f)) << 24;
  if (pe + 6 > image.size() || image.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return 0;
  return static_cast<std::uint16_t>(byte(pe + 4) | byte(pe + 5) << 8);
}

bool plainAscii(const std::string& text) {
  for (unsigned char c : text)
    if ((c < 0x20 && c != '\r' && c != '\n') || c > 0x7e) return false;
  return true;
}

// A loopback address of this case's own where nothing listens.
std::string downUrl() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return "http://" + addressForCase(std::string(info->test_suite_name()) + "." + info->name() +
                                    "/down") +
         "/feed.xml";
}

bool kernelRuns32BitPrograms() {
  return runTool({std::string(KORVO_SOURCE_DIR) + "/scripts/kernel-runs-32bit"}).exitCode == 0;
}

class WindowsZipTest : public ::testing::TestWithParam<WindowsBuild> {};

TEST_P(WindowsZipTest, UnpackedIntoAFolderItIsLoadedByAHostAndReadsALoopbackFeed) {
  const WindowsBuild& build = GetParam();
  if (build.machine == 0x14c && !kernelRuns32BitPrograms())
    GTEST_SKIP() << "this kernel cannot run 32-bit programs (scripts/kernel-runs-32bit)";
  KORVO_SKIP_WITHOUT_PORT_80();
  const std::string zip =
      distPackage(std::string("korvo-" KORVO_VERSION "-windows-") + build.arch + ".zip");
  ASSERT_TRUE(fs::is_regular_file(zip)) << zip << " is missing: make dist builds it";
  const std::string buildDir = std::string(KORVO_SOURCE_DIR) + "/" + build.buildDir;

  TempDir dir;
  const std::string plugins = dir.file("plugins");
  fs::create_directory(plugins);
  ProgramResult unzip = runTool({"python3", "-m", "zipfile", "-e", zip, plugins});
  ASSERT_EQ(unzip.exitCode, 0) << unzip.err;
  ASSERT_EQ(filesIn(plugins), (std::set<std::string>{"INSTALL.txt", "Korvo.ini", "korvo.dll"}));

  const std::string dll = readWholeFile(plugins + "/korvo.dll");
  EXPECT_EQ(dll, readWholeFile(buildDir + "/korvo.dll")) << "not the DLL of " << buildDir;
  EXPECT_EQ(peMachine(dll), build.machine) << "korvo.dll is not for the host this zip names";

  // Texts for Notepad: CR LF line ends; INSTALL.txt plain ASCII, naming
  // both zips; a Korvo.ini with ShowError on and sample sites.
  const std::string install = readWholeFile(plugins + "/INSTALL.txt");
  EXPECT_TRUE(everyLineEndsInCrLf(install)) << "INSTALL.txt";
  EXPECT_TRUE(plainAscii(install)) << "INSTALL.txt";
  for (const char* arch : {"x86", "x64"})
    EXPECT_NE(install.find(std::string("korvo-" KORVO_VERSION "-windows-") + arch + ".zip"),
              std::string::npos)
        << arch;
  const std::string ini = readWholeFile(plugins + "/Korvo.ini");
  EXPECT_TRUE(everyLineEndsInCrLf(ini)) << "Korvo.ini";
  EXPECT_NE(ini.find("\r\n[Settings]\r\nShowError=yes\r\n"), std::string::npos) << ini;
  const std::vector<std::string> sites = siteNames(ini);
  ASSERT_GE(sites.size(), 2u) << ini;

  // The user's edits: the first sample site is served here, the others are
  // down (no test touches the internet); the host draws once, so its query
  // waits for the download.
  LoopbackServer server(
      caseAddress(),
      Script().send(httpAnswer("HTTP/1.0 200 OK", {"Content-Type: application/rss+xml"},
                               rssFeed("Loopback Gazette", {"Ferry timetable changes",
                                                            "Bridge reopens on Friday"}))));
  ASSERT_TRUE(server.ok()) << server.error();
  std::vector<std::pair<std::string, std::string>> urls = {{sites[0], server.url("/feed.xml")}};
  for (std::size_t i = 1; i < sites.size(); ++i) urls.emplace_back(sites[i], downUrl());
  writeWholeFile(plugins + "/Korvo.ini",
                 withSetting(withSites(ini, urls), "WaitForDownload", "-1"));
  // The host keeps its own file elsewhere.
  writeWholeFile(dir.file("host.ini"), "[Headlines]\r\nFunction=GetTitleOfItems\r\nParam=2\r\n"
                                       "NewsSite=" + sites[0] + "\r\n\r\n"
                                       "[Down]\r\nFunction=GetTitle\r\nNewsSite=" + sites[1] +
                                       "\r\n");

  ProgramRun run;
  run.args = {std::string(KORVO_SOURCE_DIR) + "/scripts/wine-run", buildDir + "/korvo-host.exe",
              "--lib", "Z:" + plugins + "/korvo.dll", "Z:" + dir.file("host.ini")};
  run.timeoutSeconds = 180;
  ProgramResult r = runProgram(run);
  const std::string out = withoutCr(r.out);
  ASSERT_EQ(r.exitCode, 0) << r.err << out;
  EXPECT_NE(out.find("plug-in Z:" + plugins + "/korvo.dll\n  Korvo " KORVO_VERSION " ("),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Loopback Gazette\n    Ferry timetable changes\n    Bridge reopens on Friday\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("[Down] GetTitle\n  text (17 bytes): Unable to connect\n"), std::string::npos)
      << out;
  // The plug-in kept its files beside itself, and the sites.
  EXPECT_TRUE(fs::exists(plugins + "/Korvolog.txt"));
  EXPECT_NE(readWholeFile(plugins + "/Korvo.ini").find(sites[0] + "=" + server.url("/feed.xml")),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Builds, WindowsZipTest,
                         ::testing::Values(WindowsBuild{"x64", 0x8664, "build-win64"},
                                           WindowsBuild{"x86", 0x14c, "build-win32"}),
                         [](const auto& info) { return std::string(info.param.arch); });

}  // namespace
}  // namespace korvo::test
