// The plug-in in a real host: Debian's Conky in console mode loads the Lua
// module, which loads the built plug-in, against a loopback feed server.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/loopback_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAddress = "127.0.0.41";

const char* const kKorvoIni =
    "[Settings]\nWaitForDownload=-1\nShowError=no\nDoLog=yes\n"
    "[NewsSites]\nTest feed=http://127.0.0.41/feed.xml\n";

const char* const kHostIni =
    "; Korvo meters in Conky\n"
    "[Title]\nFunction=GetTitle\nNewsSite=Test feed\nToolTip=2\n"
    "\n"
    "[Headlines]\nFunction=GetTitleOfItems\nParam=5\nNewsSite=Test feed\n"
    "\n"
    "[First story]\nFunction=GetItemDescription\nParam=0\nNewsSite=Test feed\n";

std::string feed(const std::string& dir) {
  auto item = [](const std::string& title, const std::string& description) {
    return "<item><title>" + title + "</title><link>http://news.test/</link><description>" +
           description + "</description></item>";
  };
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
         "<title>Console Gazette</title><link>http://news.test/</link>"
         "<description>News for the console</description>" +
         item("Ferry timetable changes", "The morning ferry leaves at 7:15.") +
         item("Run ${exec touch " + dir + "x} now", "") + item("$exec and ${color red}red", "") +
         item("Braces {x} } { and # signs \\#", "") + item("Caf\xC3\xA9 cr\xC3\xA8me", "") +
         "</channel></rss>\n";
}

class ConkyConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(KORVO_CONKY_PROGRAM))
        << KORVO_CONKY_PROGRAM << " is missing: scripts/install-deps installs conky-std";
    // The module finds the plug-in beside itself, the plug-in its
    // Korvo.ini and log beside itself.
    for (const char* file : {KORVO_PLUGIN_PATH, KORVO_CONKY_MODULE_PATH, KORVO_CONKY_SCRIPT_PATH})
      fs::copy_file(file, dir_.file(fs::path(file).filename()));
  }

  ProgramResult conky(const std::string& text, int runs) {
    writeWholeFile(dir_.file("conky.conf"),
                   "conky.config = {\n"
                   "  out_to_x = false, out_to_console = true, background = false,\n"
                   "  total_run_times = " +
                       std::to_string(runs) +
                       ", update_interval = 0.1,\n"
                       "  text_buffer_size = 2048,\n"
                       "  lua_load = '" +
                       dir_.file("korvo.lua") +
                       "',\n"
                       "  lua_startup_hook = 'korvo_setup " +
                       dir_.file("host.ini") +
                       "',\n"
                       "  lua_shutdown_hook = 'korvo_shutdown',\n"
                       "}\n"
                       "conky.text = [[\n" +
                       text + "]]\n");
    ProgramRun run;
    run.args = {KORVO_CONKY_PROGRAM, "-c", dir_.file("conky.conf")};
    run.workDir = dir_.path();
    run.env = {"HOME=" + dir_.path(), "DISPLAY="};
    return runProgram(run);
  }

  TempDir dir_;
};

TEST_F(ConkyConsoleTest, ShowsMetersAsTextAndShutsDownCleanly) {
  KORVO_SKIP_WITHOUT_PORT_80();
  LoopbackServer server(kAddress,
                        Script().send(httpAnswer("HTTP/1.0 200 OK", {}, feed(dir_.path()))));
  ASSERT_TRUE(server.ok()) << server.error();
  writeWholeFile(dir_.file("Korvo.ini"), kKorvoIni);
  writeWholeFile(dir_.file("host.ini"), kHostIni);

  ProgramResult r = conky(
      "-- update\n"
      "title: ${lua_parse korvo Title}\n"
      "tip: ${lua_parse korvo_tip Title}\n"
      "${lua_parse korvo Headlines}\n"
      "story: ${lua_parse korvo First story}\n"
      "missing: ${lua_parse korvo Nowhere}\n",
      2);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string update =
      "-- update\n"
      "title: Console Gazette\n"
      "tip: News for the console\n"
      "Console Gazette\n"
      "Ferry timetable changes\n"
      "Run ${exec touch " +
      dir_.path() +
      "x} now\n"
      "$exec and ${color red}red\n"
      "Braces {x} } { and # signs \\#\n"
      "Caf\xC3\xA9 cr\xC3\xA8me\n"
      "story: The morning ferry leaves at 7:15.\n"
      "missing: korvo: no meter [Nowhere] in " +
      dir_.file("host.ini") + "\n";
  EXPECT_EQ(r.out, update + update) << "every update shows the same text";
  EXPECT_FALSE(fs::exists(dir_.file("x"))) << "a feed title ran a Conky command";
  EXPECT_NE(r.err.find("korvo: no meter [Nowhere]"), std::string::npos) << r.err;

  // The plug-in added its settings, and lost nothing of either file.
  const std::string hostIni = readWholeFile(dir_.file("host.ini"));
  for (const char* line : {"; Korvo meters in Conky\n", "[Title]\nFunction=GetTitle\n",
                           "[Headlines]\nFunction=GetTitleOfItems\nParam=5\n",
                           "[First story]\nFunction=GetItemDescription\nParam=0\n",
                           "NewsSite=Test feed\nToolTip=2\n", "UpdateIntervall="})
    EXPECT_NE(hostIni.find(line), std::string::npos) << line << "\nin\n" << hostIni;
  const std::string korvoIni = readWholeFile(dir_.file("Korvo.ini"));
  EXPECT_NE(korvoIni.find("[NewsSites]\nTest feed=http://127.0.0.41/feed.xml\n"), std::string::npos)
      << korvoIni;

  // Each meter started once, at its first showing, and was saved and shut
  // down once, in the shutdown hook.
  const std::string log = readWholeFile(dir_.file("Korvolog.txt"));
  auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("dllstartup()"), 3u) << log;
  EXPECT_EQ(count("src_save_settings()"), 3u) << log;
  EXPECT_EQ(count("dllshutdown()"), 3u) << log;
  EXPECT_LT(log.rfind("src_load_settings()"), log.find("src_save_settings()")) << log;
}

TEST_F(ConkyConsoleTest, AMeterNotShownIsNeverStarted) {
  writeWholeFile(dir_.file("Korvo.ini"), kKorvoIni);
  writeWholeFile(dir_.file("host.ini"), kHostIni);
  ProgramResult r = conky("plain text\n", 1);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "plain text\n");
  EXPECT_EQ(readWholeFile(dir_.file("host.ini")), kHostIni) << "nothing to save";
  EXPECT_EQ(readWholeFile(dir_.file("Korvo.ini")), kKorvoIni) << "the plug-in was never loaded";
}

TEST_F(ConkyConsoleTest, SaysWhyThePluginCannotBeUsed) {
  writeWholeFile(dir_.file("host.ini"), "[Bad]\nFunction=GetWeather\n");
  ProgramResult r = conky("${lua_parse korvo Bad}\n", 1);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("korvo: [Bad]: Function \"GetWeather\" is not one of GetTitle, ", 0), 0u)
      << r.out;
  fs::remove(dir_.file("libkorvo.so"));
  writeWholeFile(dir_.file("host.ini"), kHostIni);
  r = conky("${lua_parse korvo Title}\n", 1);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("korvo: cannot load " + dir_.file("libkorvo.so") + ": ", 0), 0u) << r.out;
}

}  // namespace
}  // namespace korvo::test
