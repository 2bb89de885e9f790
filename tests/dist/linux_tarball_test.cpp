// The Linux tarball as a user installs it: unpacked and installed by the
// lines of README.md's quick start, with a HOME of the test's own, the sample Korvo.ini given loopback feeds,
// and Conky started, in console mode, with the command install.sh printed.
#include <gtest/gtest.h>

#include <filesystem>
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

const char* const kPackageFiles[] = {
    "install.sh",          "bin/korvo-host",       "bin/korvo-setup",
    "lib/korvo/libkorvo.so", "lib/korvo/korvo-host", "lib/korvo/korvo.so",
    "lib/korvo/korvo.lua", "share/korvo/Korvo.ini", "share/korvo/host.ini",
    "share/korvo/korvo.conkyrc"};

// Conky in console mode, two updates, whatever the sample draws on X11.
const char* const kConsoleMode =
    "\nconky.config.out_to_x = false\n"
    "conky.config.out_to_console = true\n"
    "conky.config.total_run_times = 2\n"
    "conky.config.update_interval = 0.2\n";

std::string lastLine(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  const std::size_t lf = t.rfind('\n');
  std::string line = lf == std::string::npos ? t : t.substr(lf + 1);
  while (!line.empty() && line.front() == ' ') line.erase(0, 1);
  return line;
}

// The shell lines of README.md's Linux quick start (the ```sh block
// between its markers), with the version put in; empty when README lacks
// them.
std::string quickStart() {
  const std::string readme = readWholeFile(KORVO_SOURCE_DIR "/README.md");
  const std::size_t begin = readme.find("<!-- quickstart-conky:begin -->");
  const std::size_t end = readme.find("<!-- quickstart-conky:end -->");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return {};
  const std::string part = readme.substr(begin, end - begin);
  const std::size_t open = part.find("```sh\n");
  const std::size_t close = part.rfind("```");
  if (open == std::string::npos || close <= open) return {};
  std::string lines = part.substr(open + 6, close - open - 6);
  for (std::size_t at = lines.find("VERSION"); at != std::string::npos;
       at = lines.find("VERSION", at))
    lines.replace(at, 7, KORVO_VERSION);
  return lines;
}

std::string downUrl() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return "http://" + addressForCase(std::string(info->test_suite_name()) + "." + info->name() +
                                    "/down") +
         "/feed.xml";
}

TEST(LinuxTarballTest, InstallShSetsUpTheUserAndConkyShowsTheFeedsWithThePrintedCommand) {
  KORVO_SKIP_WITHOUT_PORT_80();
  const std::string tarball = distPackage("korvo-" KORVO_VERSION "-linux-x86_64.tar.gz");
  ASSERT_TRUE(fs::is_regular_file(tarball)) << tarball << " is missing: make dist builds it";
  TempDir dir;
  const std::string home = dir.file("home");
  fs::create_directories(home);
  // The README's quick start as printed, in the folder the tarball was
  // downloaded to.
  const std::string steps = quickStart();
  ASSERT_NE(steps.find("install.sh"), std::string::npos) << "README.md has no Linux quick start";
  fs::copy_file(tarball, dir.file(fs::path(tarball).filename().string()));
  // ~/.local/bin is not on this PATH, as on a first login; a UTF-8 locale,
  // as on every desktop.
  const std::vector<std::string> env = {"HOME=" + home, "PATH=/usr/local/bin:/usr/bin:/bin",
                                        "LANG=C.UTF-8", "LC_ALL=C.UTF-8"};
  ProgramResult install = runTool({"sh", "-e", "-c", steps}, env, dir.path());
  ASSERT_EQ(install.exitCode, 0) << install.err << install.out;
  const std::string top = dir.file("korvo-" KORVO_VERSION "-linux-x86_64/");
  for (const char* file : kPackageFiles)
    EXPECT_TRUE(fs::is_regular_file(top + file)) << file << " is not in the tarball";
  const std::string command = lastLine(install.out);
  const std::string config = home + "/.config/korvo/";
  EXPECT_EQ(command, "conky -c " + config + "korvo.conkyrc") << install.out;
  for (const char* file : {"libkorvo.so", "korvo.so", "korvo.lua"}) {
    EXPECT_TRUE(fs::is_symlink(config + file)) << file;
    EXPECT_EQ(fs::read_symlink(config + file), home + "/.local/lib/korvo/" + file);
  }
  EXPECT_TRUE(fs::is_regular_file(home + "/.local/bin/korvo-host"));

  const std::string ini = readWholeFile(config + "Korvo.ini");
  EXPECT_EQ(ini.find('\r'), std::string::npos) << "Korvo.ini for Linux has CR LF line ends";
  EXPECT_NE(ini.find("\n[Settings]\nShowError=yes\n"), std::string::npos) << ini;
  const std::vector<std::string> sites = siteNames(ini);
  ASSERT_GE(sites.size(), 3u) << ini;

  // The user's edits: the first sample site served here, the second down,
  // the third's line deleted, so its meters name a site that is not there.
  // The feed is UTF-8 with a Cyrillic title, and one headline is longer
  // than the sample's Width of 52 characters.
  const std::string title = "\u0412\u0435\u0441\u0442\u0438 Loopback Gazette";  // Вести
  const std::string longHeadline =
      "Bridge reopens on Friday after two years of work on the old river crossing";
  LoopbackServer server(
      caseAddress(),
      Script().send(httpAnswer("HTTP/1.0 200 OK", {"Content-Type: application/rss+xml"},
                               rssFeed(title, {"Ferry timetable changes", longHeadline}))));
  ASSERT_TRUE(server.ok()) << server.error();
  std::vector<std::pair<std::string, std::string>> urls = {
      {sites[0], server.url("/feed.xml")}, {sites[1], downUrl()}, {sites[2], ""}};
  for (std::size_t i = 3; i < sites.size(); ++i) urls.emplace_back(sites[i], downUrl());
  writeWholeFile(config + "Korvo.ini", withSetting(withSites(ini, urls), "WaitForDownload", "-1"));
  writeWholeFile(config + "korvo.conkyrc", readWholeFile(config + "korvo.conkyrc") + kConsoleMode);

  ProgramResult conky = runTool({"sh", "-c", command}, env, dir.path(), 120);
  ASSERT_EQ(conky.exitCode, 0) << conky.err << conky.out;
  // The Cyrillic letters intact with no CodePage anywhere (the default
  // follows the UTF-8 locale), the long headline cut to 51 characters and
  // "…".
  for (const std::string& shown :
       {title + "\nFerry timetable changes\n" + longHeadline.substr(0, 51) + "\u2026\n",
        std::string("\nUnable to connect\n"),
        "\nNo news site named '" + sites[2] + "' in Korvo.ini.\n"})
    EXPECT_NE(conky.out.find(shown), std::string::npos) << shown << "\nnot in\n" << conky.out;
  // The plug-in took its files from the folder it was loaded through, and
  // wrote no CodePage of its own into Korvo.ini.
  EXPECT_TRUE(fs::exists(config + "Korvolog.txt"));
  EXPECT_EQ(readWholeFile(config + "Korvo.ini").find("CodePage"), std::string::npos);
  for (const char* file : {"Korvo.ini", "Korvolog.txt"})
    EXPECT_FALSE(fs::exists(home + "/.local/lib/korvo/" + file)) << file;

  // korvo-host as installed runs the plug-in of the same folder.
  ProgramResult host = runTool({home + "/.local/bin/korvo-host", config + "host.ini"}, env);
  ASSERT_EQ(host.exitCode, 0) << host.err << host.out;
  EXPECT_NE(host.out.find("plug-in " + config + "libkorvo.so\n"), std::string::npos) << host.out;
  EXPECT_NE(host.out.find(title), std::string::npos) << host.out;

  // An update installs over it and keeps every file of the user's.
  std::vector<std::pair<std::string, std::string>> before;
  for (const char* file : {"Korvo.ini", "host.ini", "korvo.conkyrc"})
    before.emplace_back(file, readWholeFile(config + file));
  ProgramResult again = runTool({"sh", top + "install.sh"}, env, dir.path());
  ASSERT_EQ(again.exitCode, 0) << again.err << again.out;
  EXPECT_EQ(lastLine(again.out), command);
  for (const auto& [file, text] : before)
    EXPECT_EQ(readWholeFile(config + file), text) << file << " was overwritten";
}

}  // namespace
}  // namespace korvo::test
