// The Debian package as a user installs it: dpkg -i, korvo-host from PATH,
// a user's Korvo folder made by korvo-setup and read through the installed
// korvo-host, then removed (dpkg --purge) without a trace.
#include <unistd.h>

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

const char* const kPath = "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

std::string field(const std::string& deb, const char* name) {
  ProgramResult r = runTool({"dpkg-deb", "--field", deb, name});
  std::string value = r.out;
  while (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

// True while dpkg knows the package at all (installed, or its files gone
// and its record left).
bool korvoKnown() {
  return runTool({"dpkg-query", "--show", "--showformat=${Status}", "korvo"}).exitCode == 0;
}

// Removes the package however the case ends.
struct Removal {
  ~Removal() { runTool({"dpkg", "--purge", "korvo"}, {kPath}); }
};

TEST(DebianPackageTest, InstallsRunsFromPathForAUserAndIsRemoved) {
  if (geteuid() != 0)
    KORVO_SKIP_FOR_PREREQUISITE() << "installing a Debian package (dpkg -i) needs root";
  const std::string deb = distPackage("korvo_" KORVO_VERSION "_amd64.deb");
  ASSERT_TRUE(fs::is_regular_file(deb)) << deb << " is missing: make dist builds it";
  ASSERT_FALSE(korvoKnown())
      << "dpkg knows a korvo package on this machine already; this test installs and removes "
         "its own, so remove that one first (dpkg --purge korvo)";

  EXPECT_EQ(field(deb, "Package"), "korvo");
  EXPECT_EQ(field(deb, "Version"), KORVO_VERSION);
  EXPECT_EQ(field(deb, "Architecture"), "amd64");
  const std::string depends = field(deb, "Depends");
  for (const char* library : {"libcurl4", "libtinyxml2.6.2v5", "libfltk1.3", "libc6"})
    EXPECT_NE(depends.find(library), std::string::npos) << library << " not in " << depends;

  TempDir dir;
  const std::string home = dir.file("home");
  fs::create_directories(home);
  const std::vector<std::string> env = {"HOME=" + home, kPath};
  Removal removal;
  ProgramResult install = runTool({"dpkg", "--install", deb}, {kPath}, "", 120);
  ASSERT_EQ(install.exitCode, 0) << install.err << install.out;

  ProgramResult version =
      runTool({"sh", "-c", "command -v korvo-host && korvo-host --version"}, env, dir.path());
  EXPECT_EQ(version.exitCode, 0) << version.err;
  EXPECT_EQ(version.out.rfind("/usr/bin/korvo-host\nkorvo-host " KORVO_VERSION "\n", 0), 0u)
      << version.out << version.err;

  // A user's own folder, linked to the system's files, read by korvo-host.
  ProgramResult setup = runTool({"korvo-setup"}, env, dir.path());
  ASSERT_EQ(setup.exitCode, 0) << setup.err << setup.out;
  const std::string config = home + "/.config/korvo/";
  EXPECT_NE(setup.out.find("conky -c " + config + "korvo.conkyrc\n"), std::string::npos)
      << setup.out;
  EXPECT_EQ(fs::read_symlink(config + "libkorvo.so"), "/usr/lib/korvo/libkorvo.so");
  LoopbackServer server(caseAddress(),
                        Script().send(httpAnswer("HTTP/1.0 200 OK", {},
                                                 rssFeed("Loopback Gazette", {"Ferry"}))));
  ASSERT_TRUE(server.ok()) << server.error();
  const std::string ini = readWholeFile(config + "Korvo.ini");
  const std::vector<std::string> sites = siteNames(ini);
  ASSERT_FALSE(sites.empty()) << ini;
  writeWholeFile(config + "Korvo.ini",
                 withSetting(withSites(ini, {{sites[0], server.url("/feed.xml")}}),
                             "WaitForDownload", "-1"));
  writeWholeFile(dir.file("host.ini"), "[Title]\nFunction=GetTitle\nNewsSite=" + sites[0] + "\n");
  ProgramResult host = runTool({"korvo-host", dir.file("host.ini")}, env, dir.path());
  EXPECT_EQ(host.exitCode, 0) << host.err;
  EXPECT_NE(host.out.find("plug-in " + config + "libkorvo.so\n"), std::string::npos) << host.out;
  EXPECT_NE(host.out.find("text (16 bytes): Loopback Gazette\n"), std::string::npos) << host.out;

  ProgramResult remove = runTool({"dpkg", "--purge", "korvo"}, {kPath}, "", 120);
  EXPECT_EQ(remove.exitCode, 0) << remove.err << remove.out;
  EXPECT_FALSE(korvoKnown());
  for (const char* file : {"/usr/bin/korvo-host", "/usr/bin/korvo-setup", "/usr/lib/korvo",
                           "/usr/share/korvo", "/usr/share/doc/korvo"})
    EXPECT_FALSE(fs::exists(file)) << file << " is left after dpkg --purge";
  EXPECT_TRUE(fs::is_regular_file(config + "Korvo.ini")) << "the user's own files stay";
}

}  // namespace
}  // namespace korvo::test
