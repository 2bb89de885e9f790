// The worked example of README.md ("From nothing to your own feed"), run as
// it is written there: the shell lines between its markers are taken from
// README itself, so the two cannot drift apart. They run with a home of
// their own, in a fresh directory that holds only build/libkorvo.so and
// build/korvo-host, against a loopback server standing in for the reader's
// feed; a stand-in xdg-open records what the click opens.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBegin = "<!-- worked-example:begin -->";
constexpr const char* kEnd = "<!-- worked-example:end -->";
// The address README asks the reader to replace with their feed's.
constexpr const char* kReadersFeed = "https://www.example.org/feed.xml";

// The lines of the one ```sh block between the markers; empty when README
// lacks the markers or the block.
std::string exampleScript(const std::string& readme) {
  const std::size_t begin = readme.find(kBegin);
  const std::size_t end = readme.find(kEnd);
  if (begin == std::string::npos || end == std::string::npos || end < begin) return {};
  const std::string part = readme.substr(begin, end - begin);
  const std::size_t open = part.find("```sh\n");
  const std::size_t close = part.rfind("```");
  if (open == std::string::npos || close <= open) return {};
  return part.substr(open + 6, close - open - 6);
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Every regular file under dir with its content, by path relative to dir.
std::map<std::string, std::string> filesUnder(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), dir).string()] = readWholeFile(entry.path().string());
  return files;
}

std::string feedDocument(const std::string& site) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<rss version=\"2.0\"><channel><title>Riverside Weekly</title>"
         "<link>" + site + "/</link><description>News from the river</description>"
         "<item><title>Bridge reopens on Friday</title><link>" + site + "/bridge</link>"
         "<description>&lt;p&gt;Traffic returns after two years.&lt;/p&gt;</description></item>"
         "<item><title>Market moves to the square</title><link>" + site + "/market</link></item>"
         "<item><title>Library extends its hours</title><link>" + site + "/library</link></item>"
         "<item><title>Ferry fares stay the same</title><link>" + site + "/ferry</link></item>"
         "</channel></rss>\n";
}

TEST(ReadmeExampleTest, RunsAsWrittenAgainstTheReadersFeed) {
  KORVO_SKIP_WITHOUT_PORT_80();
  const std::string readme = readWholeFile(KORVO_README_PATH);
  std::string script = exampleScript(readme);
  ASSERT_FALSE(script.empty()) << "README.md lacks the worked example between " << kBegin
                               << " and " << kEnd;
  ASSERT_NE(script.find(kReadersFeed), std::string::npos)
      << "the example no longer names " << kReadersFeed << ", which this test replaces";
  const std::string feedUrl = caseUrl("/feed.xml");
  script = replaceAll(script, kReadersFeed, feedUrl);

  const std::string site = "http://" + caseAddress();
  LoopbackServer server(caseAddress(),
                        Script().send(httpAnswer("HTTP/1.0 200 OK",
                                                 {"Content-Type: application/rss+xml"},
                                                 feedDocument(site))));
  ASSERT_TRUE(server.ok()) << server.error();

  TempDir dir;
  const std::string checkout = dir.file("checkout/");
  const std::string home = dir.file("home/");
  const std::string bin = dir.file("bin/");
  for (const std::string& d : {checkout + "build", home, bin}) fs::create_directories(d);
  fs::copy_file(KORVO_PLUGIN_PATH, checkout + "build/libkorvo.so");
  fs::copy_file(KORVO_HOST_PATH, checkout + "build/korvo-host");
  // The browser: records each link it is asked to open.
  writeWholeFile(bin + "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + dir.file("opened") +
                                       "'\n");
  fs::permissions(bin + "xdg-open", fs::perms::owner_all);
  writeWholeFile(dir.file("example.sh"), script);
  const auto before = filesUnder(checkout);

  ProgramRun run;
  run.args = {"/bin/bash", "-e", dir.file("example.sh")};
  run.workDir = checkout;
  const char* path = std::getenv("PATH");
  run.env = {"HOME=" + home, "PATH=" + bin + ":" + (path ? path : "/usr/bin:/bin")};
  const ProgramResult r = runProgram(run);
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

  // --fetch read the feed; both meters show it, with their tooltips.
  EXPECT_NE(r.out.find("title: Riverside Weekly\nitems: 4\n"), std::string::npos) << r.out;
  const std::string meters =
      "[Latest] GetTitleOfItems(\"3\")\n"
      "  text (94 bytes): Riverside Weekly\n"
      "    Bridge reopens on Friday\n"
      "    Market moves to the square\n"
      "    Library extends its hours\n"
      "  tooltip (" + std::to_string(site.size() + 1) + " bytes): " + site + "/\n"
      "[Top story] GetItemDescription(\"0\")\n"
      "  text (32 bytes): Traffic returns after two years.\n"
      "  tooltip (24 bytes): Bridge reopens on Friday\n";
  const std::size_t first = r.out.find(meters);
  ASSERT_NE(first, std::string::npos) << r.out;
  EXPECT_NE(r.out.find(meters, first + 1), std::string::npos) << "the second run draws them too";
  EXPECT_NE(r.out.find("clicked [Top story]: opened " + site + "/bridge\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(readWholeFile(dir.file("opened")), site + "/bridge\n");
  EXPECT_EQ(r.err, "") << "no warning: Korvo.ini lies beside the copied plug-in";

  // The plug-in logged beside itself, and the host saved the meters' keys.
  const std::string log = readWholeFile(home + "korvo/Korvolog.txt");
  EXPECT_NE(log.find("Downloading rss: " + feedUrl), std::string::npos) << log;
  EXPECT_EQ(log.find("Error"), std::string::npos) << log;
  const std::string hostIni = readWholeFile(home + "korvo/my.ini");
  EXPECT_NE(hostIni.find("InputClickItem=0"), std::string::npos) << hostIni;

  // Nothing outside the reader's home changed.
  EXPECT_EQ(filesUnder(checkout), before);
  EXPECT_EQ(server.connections(), 3u) << "--fetch, then one download for each run";
}

}  // namespace
}  // namespace korvo::test
