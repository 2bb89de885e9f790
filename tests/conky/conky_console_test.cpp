// The plug-in in a real host: Debian's Conky in console mode loads the Lua
// module, which loads the built plug-in, against a loopback feed server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;

// The settings of one feed on the case's own server.
std::string oneFeedSettings() {
  return "[Settings]\nWaitForDownload=-1\nShowError=no\nDoLog=yes\n"
         "[NewsSites]\nTest feed=" +
         caseUrl("/feed.xml") + "\n";
}

const char* const kHostIni =
    "; Korvo meters in Conky\n"
    "[Title]\nFunction=GetTitle\nNewsSite=Test feed\nToolTip=2\n"
    "\n"
    "[Headlines]\nFunction=GetTitleOfItems\nParam=20\nNewsSite=Test feed\n"
    "\n"
    "[First story]\nFunction=GetItemDescription\nParam=0\nNewsSite=Test feed\n";

// Titles that Conky would read as its own markup if the module passed them
// on as they are; each must print as itself. "RAN" stands for a file in the
// test's directory that a command run from a title would create.
struct MarkupTitle {
  const char* name;
  const char* title;
};
const MarkupTitle kMarkupTitles[] = {
    {"a variable with braces", "Run ${exec touch RAN} now"},
    {"bare variables", "$exec and ${color red}red"},
    {"braces and comment signs", "Braces {x} } { and # signs \\#"},
    {"a comment sign first", "# a whole line"},
    {"a lone dollar at the end", "Costs 5$"},
    {"an escape already written", "$$ and $${exec touch RAN}"},
    {"an unclosed variable", "${exec touch RAN"},
    {"a blank after the dollar", "$ {exec touch RAN}"},
    {"nested variables", "${eval $${exec touch RAN}}"},
    {"the module itself", "${lua_parse korvo Title} ${lua conky_korvo_shutdown}"},
    {"backslashes", "Back\\slash \\\\ \\n \\$ \\{ \\} end\\"},
    {"printf directives", "%s %n %d %%"},
    {"a template", "${template0 exec} \\1 $template1"},
    {"a template Conky would hang on", "$TEMPLATE and ${Template2 x}"},
    {"an unclosed template Conky would stop at", "${template3 touch RAN"},
};

std::string withDir(std::string text, const std::string& dir) {
  const std::string file = dir + "ran";
  for (std::size_t at = 0; (at = text.find("RAN", at)) != std::string::npos; at += file.size())
    text.replace(at, 3, file);
  return text;
}

std::string feed(const std::string& dir) {
  auto item = [](const std::string& title, const std::string& description) {
    return "<item><title>" + title + "</title><link>http://news.test/</link><description>" +
           description + "</description></item>";
  };
  std::string items = item("Ferry timetable changes", "The morning ferry leaves at 7:15.");
  for (const MarkupTitle& t : kMarkupTitles) items += item(withDir(t.title, dir), "");
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
         "<title>Console Gazette</title><link>http://news.test/</link>"
         "<description>News for the console</description>" +
         items + item("Caf\xC3\xA9 cr\xC3\xA8me", "") + "</channel></rss>\n";
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

  // extraLua: a script of the test's own, loaded after korvo.lua;
  // shutdownHook: the function Conky calls as it ends (conky_ left off).
  ProgramResult conky(const std::string& text, int runs, const std::string& extraLua = "",
                      const std::string& shutdownHook = "korvo_shutdown") {
    std::string scripts = dir_.file("korvo.lua");
    if (!extraLua.empty()) {
      writeWholeFile(dir_.file("test.lua"), extraLua);
      scripts += " " + dir_.file("test.lua");
    }
    writeWholeFile(dir_.file("conky.conf"),
                   "conky.config = {\n"
                   "  out_to_x = false, out_to_console = true, background = false,\n"
                   "  total_run_times = " +
                       std::to_string(runs) +
                       ", update_interval = 0.1,\n"
                       "  text_buffer_size = 2048,\n"
                       "  lua_load = '" +
                       scripts +
                       "',\n"
                       "  lua_startup_hook = 'korvo_setup " +
                       dir_.file("host.ini") +
                       "',\n"
                       "  lua_shutdown_hook = '" +
                       shutdownHook +
                       "',\n"
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
  LoopbackServer server(caseAddress(),
                        Script().send(httpAnswer("HTTP/1.0 200 OK", {}, feed(dir_.path()))));
  ASSERT_TRUE(server.ok()) << server.error();
  writeWholeFile(dir_.file("Korvo.ini"), oneFeedSettings());
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
  std::string titles;
  for (const MarkupTitle& t : kMarkupTitles) {
    const std::string line = "\n" + withDir(t.title, dir_.path()) + "\n";
    titles += line.substr(1);
    EXPECT_NE(r.out.find(line), std::string::npos) << t.name << ": " << line << "in\n" << r.out;
  }
  const std::string update =
      "-- update\n"
      "title: Console Gazette\n"
      "tip: News for the console\n"
      "Console Gazette\n"
      "Ferry timetable changes\n" +
      titles +
      "Caf\xC3\xA9 cr\xC3\xA8me\n"
      "story: The morning ferry leaves at 7:15.\n"
      "missing: korvo: no meter [Nowhere] in " +
      dir_.file("host.ini") + "\n";
  EXPECT_EQ(r.out, update + update) << "every update shows the same text";
  EXPECT_FALSE(fs::exists(dir_.file("ran"))) << "a feed title ran a Conky command";
  EXPECT_NE(r.err.find("korvo: no meter [Nowhere]"), std::string::npos) << r.err;

  // The plug-in added its settings, and lost nothing of either file.
  const std::string hostIni = readWholeFile(dir_.file("host.ini"));
  for (const char* line : {"; Korvo meters in Conky\n", "[Title]\nFunction=GetTitle\n",
                           "[Headlines]\nFunction=GetTitleOfItems\nParam=20\n",
                           "[First story]\nFunction=GetItemDescription\nParam=0\n",
                           "NewsSite=Test feed\nToolTip=2\n", "UpdateIntervall="})
    EXPECT_NE(hostIni.find(line), std::string::npos) << line << "\nin\n" << hostIni;
  const std::string korvoIni = readWholeFile(dir_.file("Korvo.ini"));
  EXPECT_NE(korvoIni.find("[NewsSites]\nTest feed=" + server.url("/feed.xml") + "\n"),
            std::string::npos)
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

// Conky's clock for the test: /proc/uptime, in seconds to the hundredth,
// read inside Conky's update, and the shutdown hook timed the same way.
const char* const kClockLua =
    "local function now()\n"
    "  local f = assert(io.open('/proc/uptime'))\n"
    "  local t = f:read('n')\n"
    "  f:close()\n"
    "  return t\n"
    "end\n"
    "function conky_clock() return string.format('%.2f', now()) end\n"
    "function conky_timed_shutdown()\n"
    "  local start = now()\n"
    "  conky_korvo_shutdown()\n"
    "  io.stderr:write(string.format('shutdown took %.2f s\\n', now() - start))\n"
    "end\n";

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
    parts.push_back(text.substr(from, at - from));
  if (from < text.size()) parts.push_back(text.substr(from));
  return parts;
}

TEST_F(ConkyConsoleTest, ADeadFeedServerDoesNotDelayConkysUpdates) {
  KORVO_SKIP_WITHOUT_PORT_80();
  // The dead server accepts and reads each request, then holds its answer
  // at a gate that the test never opens.
  auto gate = std::make_shared<Gate>();
  LoopbackServer dead(caseAddress(0),
                      Script().waitFor(gate).send(httpAnswer("HTTP/1.0 200 OK", {}, "")));
  ASSERT_TRUE(dead.ok()) << dead.error();
  LoopbackServer live(
      caseAddress(1),
      Script().send(httpAnswer("HTTP/1.0 200 OK", {},
                               "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>"
                               "<title>Live Gazette</title><link>http://news.test/</link>"
                               "</channel></rss>\n")));
  ASSERT_TRUE(live.ok()) << live.error();
  constexpr int kBudgetMs = 250;
  writeWholeFile(dir_.file("Korvo.ini"),
                 "[Settings]\nWaitForDownload=" + std::to_string(kBudgetMs) +
                     "\nShowError=no\nDoLog=yes\n"
                     "[NewsSites]\nLive=" +
                     live.url("/feed.xml") + "\nDead=" + dead.url("/feed.xml") +
                     "\nAlso dead=" + dead.url("/other.xml") + "\n");
  writeWholeFile(dir_.file("host.ini"),
                 "[Live]\nFunction=GetTitle\nNewsSite=Live\n"
                 "[Dead title]\nFunction=GetTitle\nNewsSite=Dead\n"
                 "[Dead story]\nFunction=GetItemDescription\nParam=0\nNewsSite=Dead\n"
                 "[Other dead]\nFunction=GetTitle\nNewsSite=Also dead\n");

  // One line per update: the clock, the live meter, the clock, the three
  // dead meters, the clock. Long enough for the plug-in's budget to start
  // over (once a second) at least once.
  constexpr int kUpdates = 15;
  ProgramResult r = conky(
      "${lua clock}|${lua_parse korvo Live}|${lua clock}|${lua_parse korvo Dead title}|"
      "${lua_parse korvo Dead story}|${lua_parse korvo Other dead}|${lua clock}\n",
      kUpdates, kClockLua, "timed_shutdown");
  ASSERT_FALSE(r.timedOut) << r.out << r.err;
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // The server takes one connection at a time: the second feed's waits,
  // connected and unanswered, behind the first.
  EXPECT_TRUE(dead.waitForRequests(1, std::chrono::seconds(10))) << "the dead server was asked";

  // A query of a meter with nothing to show waits only within what is left
  // of the budget for the current second, so one update waits at most the
  // budget twice (when a second begins during it). The slack covers the
  // work and a loaded machine; a plug-in that waited for the dead server
  // would hold the update until its 12 s limit for a silent server.
  const double budget = kBudgetMs / 1000.0;
  const double slack = 2.0;
  const std::vector<std::string> lines = split(r.out, '\n');
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kUpdates)) << "every update printed\n" << r.out;
  int firstLive = -1;
  for (int i = 0; i < kUpdates; ++i) {
    const std::vector<std::string> f = split(lines[i] + "|", '|');
    ASSERT_EQ(f.size(), 7u) << lines[i];
    const double start = std::stod(f[0]), afterLive = std::stod(f[2]), end = std::stod(f[6]);
    EXPECT_LE(end - start, 2 * budget + slack) << "update " << i + 1 << ": " << lines[i];
    EXPECT_EQ(f[3] + f[4] + f[5], "") << "the dead meters have nothing: " << lines[i];
    if (f[1] == "Live Gazette") {
      if (firstLive < 0) firstLive = i;
    } else {
      EXPECT_EQ(f[1], "") << lines[i];
      EXPECT_LT(firstLive, 0) << "update " << i + 1 << " lost the live title: " << lines[i];
      // The first query of the live meter waits the whole budget for its
      // download unless the download ends sooner (the clock reads in
      // hundredths).
      if (i == 0) {
        EXPECT_GE(afterLive - start, budget - 0.01) << lines[i];
      }
    }
  }
  EXPECT_GE(firstLive, 0) << "the live meter never showed its feed:\n" << r.out;

  // The last shutdown cancels the dead downloads (a receive looks at the
  // cancel flag every 100 ms) and waits at most 0.8 s for the workers.
  const std::size_t at = r.err.find("shutdown took ");
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_LE(std::stod(r.err.substr(at + 14)), 0.8 + slack) << r.err;
  const std::string log = readWholeFile(dir_.file("Korvolog.txt"));
  std::size_t shutdowns = 0;
  for (std::size_t p = log.find("dllshutdown()"); p != std::string::npos;
       p = log.find("dllshutdown()", p + 1))
    ++shutdowns;
  EXPECT_EQ(shutdowns, 4u) << log;
}

TEST_F(ConkyConsoleTest, PassesUtf8FromThePluginAsItIs) {
  KORVO_SKIP_WITHOUT_PORT_80();
  // With CodePage=utf-8 the plug-in writes UTF-8 and the module passes it on
  // as it is: the feed's text converted (FilterUnicode=yes) or as received
  // (no), references in UTF-8 either way.
  const std::string cyrillic = "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8";
  const std::string greek = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1";
  for (const char* filterUnicode : {"yes", "no"}) {
    SCOPED_TRACE(std::string("FilterUnicode=") + filterUnicode);
    LoopbackServer server(
        caseAddress(),
        Script().send(httpAnswer(
            "HTTP/1.0 200 OK", {},
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>" +
                cyrillic + "</title><link>http://news.test/</link><item><title>" + greek +
                " $5</title></item><item><title>Caf\xC3\xA9 &#8217;&amp;eacute;</title></item>"
                "</channel></rss>\n")));
    ASSERT_TRUE(server.ok()) << server.error();
    writeWholeFile(dir_.file("Korvo.ini"),
                   "[Settings]\nCodePage=utf-8\nWaitForDownload=-1\n[NewsSites]\nNews=" +
                       server.url("/feed.xml") + "\n");
    writeWholeFile(dir_.file("host.ini"),
                   std::string("[List]\nFunction=GetTitleOfItems\nParam=2\nNewsSite=News\n") +
                       "FilterUnicode=" + filterUnicode + "\n");
    ProgramResult r = conky("${lua_parse korvo List}\n", 1);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, cyrillic + "\n" + greek + " $5\nCaf\xC3\xA9 \xE2\x80\x99\xC3\xA9\n");
  }
}

TEST_F(ConkyConsoleTest, AMeterNotShownIsNeverStarted) {
  writeWholeFile(dir_.file("Korvo.ini"), oneFeedSettings());
  writeWholeFile(dir_.file("host.ini"), kHostIni);
  ProgramResult r = conky("plain text\n", 1);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "plain text\n");
  EXPECT_EQ(readWholeFile(dir_.file("host.ini")), kHostIni) << "nothing to save";
  EXPECT_EQ(readWholeFile(dir_.file("Korvo.ini")), oneFeedSettings())
      << "the plug-in was never loaded";
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
