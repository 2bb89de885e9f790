// A meter's Width in Conky: each line longer than Width characters ends
// with "…" so that it keeps to the panel; the rule on its own, and Conky
// running the sample config (examples/conky) in console mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "conky_text.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;
using conky::escapeForConky;
using conky::fitLines;

struct FitCase {
  const char* name;
  std::size_t width;
  std::string text;
  std::string expected;
};

TEST(FitLinesTest, CutsEachLineLongerThanTheWidthAndEndsItWithAnEllipsis) {
  const FitCase cases[] = {
      {"ASCII, an exact fit", 10, "0123456789", "0123456789"},
      {"ASCII, one over", 10, "0123456789A", "012345678\u2026"},
      {"ASCII, far over", 10, "Ferry timetable changes from Monday", "Ferry tim\u2026"},
      // Новости (7 letters, 14 bytes), Вести (5 letters).
      {"Cyrillic, an exact fit", 5, "\u0412\u0435\u0441\u0442\u0438",
       "\u0412\u0435\u0441\u0442\u0438"},
      {"Cyrillic, over", 5, "\u041D\u043E\u0432\u043E\u0441\u0442\u0438",
       "\u041D\u043E\u0432\u043E\u2026"},
      {"Cyrillic, one over", 6, "\u041D\u043E\u0432\u043E\u0441\u0442\u0438",
       "\u041D\u043E\u0432\u043E\u0441\u2026"},
      // 港町だより (5 characters, 15 bytes).
      {"CJK, an exact fit", 5, "\u6E2F\u753A\u3060\u3088\u308A", "\u6E2F\u753A\u3060\u3088\u308A"},
      {"CJK, one over", 4, "\u6E2F\u753A\u3060\u3088\u308A", "\u6E2F\u753A\u3060\u2026"},
      {"four-byte characters", 2, "\U0001F600\U0001F600\U0001F600", "\U0001F600\u2026"},
      {"an ellipsis of the feed's own is a character", 3, "ab\u2026", "ab\u2026"},
      {"width 1", 1, "ab", "\u2026"},
      {"width 1, a fit", 1, "a", "a"},
      {"width 0 cuts nothing", 0, "Ferry timetable changes from Monday",
       "Ferry timetable changes from Monday"},
      {"empty", 5, "", ""},
      {"each line of a list on its own", 5, "short\nmuch longer\n\nabcdef\n",
       "short\nmuch\u2026\n\nabcd\u2026\n"},
      {"a tab is one character", 3, "a\tbc", "a\t\u2026"},
      {"control bytes, which Conky never shows, count nothing", 5, "a\rb\x01" "cde", "a\rb\x01" "cde"},
      {"control bytes before the cut stay for the escape to drop", 5, "a\rbcdef", "a\rbcd\u2026"},
      // Bytes that are no UTF-8 are counted as escapeForConky passes them.
      {"a lead byte at the end", 3, "abc\xC3", "ab\u2026"},
      {"stray continuation bytes", 3, "\x80\x80\x80\x80", "\x80\x80\u2026"},
  };
  for (const FitCase& c : cases) EXPECT_EQ(fitLines(c.text, c.width), c.expected) << c.name;
}

// Conky shows "$$" as "$" and "\#" as "#": the cut counts the characters
// before they are escaped, so an escape is never split and never counted
// twice.
TEST(FitLinesTest, TheCutComesBeforeConkysEscapes) {
  EXPECT_EQ(escapeForConky(fitLines("$5 #1 $$", 8)), "$$5 \\#1 $$$$");
  EXPECT_EQ(escapeForConky(fitLines("$5 #1 $$ more", 8)), "$$5 \\#1 $$\u2026");
  EXPECT_EQ(escapeForConky(fitLines("costs $5", 7)), "costs \u2026");
}

// examples/conky as a user installs it: korvo.conkyrc, host.ini (Width=52)
// and the module in ~/.config/korvo/, Conky in console mode instead of its
// window, and feeds from a loopback server. Each line fits the 52
// characters; longer headlines end with "…".
TEST(ConkyWidthTest, TheSampleConfigEndsLongHeadlinesWithAnEllipsis) {
  KORVO_SKIP_WITHOUT_PORT_80();
  ASSERT_TRUE(fs::exists(KORVO_CONKY_PROGRAM))
      << KORVO_CONKY_PROGRAM << " is missing: scripts/install-deps installs conky-std";
  TempDir home;
  const std::string dir = home.path() + "/.config/korvo/";
  fs::create_directories(dir);
  for (const char* file : {KORVO_PLUGIN_PATH, KORVO_CONKY_MODULE_PATH, KORVO_CONKY_SCRIPT_PATH})
    fs::copy_file(file, dir + fs::path(file).filename().string());
  const std::string examples = KORVO_EXAMPLES_DIR "/conky/";
  fs::copy_file(examples + "host.ini", dir + "host.ini");

  // Новый паром выходит в рейс между гаванью и островам|и уже в понедельник:
  // 51 letters, then more.
  const std::string cyrillic51 =
      "\u041D\u043E\u0432\u044B\u0439 \u043F\u0430\u0440\u043E\u043C \u0432\u044B\u0445\u043E"
      "\u0434\u0438\u0442 \u0432 \u0440\u0435\u0439\u0441 \u043C\u0435\u0436\u0434\u0443 "
      "\u0433\u0430\u0432\u0430\u043D\u044C\u044E \u0438 \u043E\u0441\u0442\u0440\u043E\u0432"
      "\u0430\u043C";
  const std::string cyrillic =
      cyrillic51 + "\u0438 \u0443\u0436\u0435 \u0432 \u043F\u043E\u043D\u0435\u0434\u0435\u043B"
                   "\u044C\u043D\u0438\u043A";
  auto item = [](const std::string& title) { return "<item><title>" + title + "</title></item>"; };
  LoopbackServer server(
      caseAddress(),
      Script().send(httpAnswer(
          "HTTP/1.0 200 OK", {},
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
          "<title>Harbour Town Gazette: news of the harbour, the ferries and the old "
          "lighthouse</title><link>http://news.test/</link>"
          "<description>News from the quay every morning, with the tides, the ferry times and "
          "the weather</description>" +
              item("Ferry timetable changes from Monday for every crossing to the islands") +
              item(cyrillic) + item("Lighthouse museum reopens") +
              item("Storm warning for the weekend: the ferries may stop.") +
              "</channel></rss>\n")));
  ASSERT_TRUE(server.ok()) << server.error();
  writeWholeFile(dir + "Korvo.ini",
                 "[Settings]\nCodePage=utf-8\nShowError=yes\nWaitForDownload=-1\n"
                 "[NewsSites]\nHarbour Town Gazette=" +
                     server.url("/harbour.xml") + "\nOpen Kitchen=" + server.url("/kitchen.xml") +
                     "\nCafe Creme=" + server.url("/cafe.xml") + "\n");
  // The sample config, on the console and for one update.
  writeWholeFile(home.file("console.conkyrc"),
                 "dofile('" + examples + "korvo.conkyrc')\n"
                 "conky.config.out_to_x = false\n"
                 "conky.config.out_to_console = true\n"
                 "conky.config.own_window = false\n"
                 "conky.config.total_run_times = 1\n");

  ProgramRun run;
  run.args = {KORVO_CONKY_PROGRAM, "-c", home.file("console.conkyrc")};
  run.workDir = home.path();
  run.env = {"HOME=" + home.path(), "DISPLAY="};
  ProgramResult r = runProgram(run);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string title = "Harbour Town Gazette: news of the harbour, the ferr\u2026\n";
  const std::string ferry = "Ferry timetable changes from Monday for every cross\u2026\n";
  const std::string cutCyrillic = cyrillic51 + "\u2026\n";
  EXPECT_EQ(r.out, title +                                                      // Harbour title
                       "News from the quay every morning, with the tides, t\u2026\n" +  // its tooltip
                       ferry + cutCyrillic +                                    // Harbour headlines
                       "Lighthouse museum reopens\n"
                       "Storm warning for the weekend: the ferries may stop.\n" +
                       title +                    // Kitchen title
                       ferry +                    // Kitchen
                       title + ferry + cutCyrillic);  // Cafe
  // The plug-in saved its settings into host.ini and kept the host's keys.
  const std::string saved = readWholeFile(dir + "host.ini");
  EXPECT_NE(saved.find("[Harbour headlines]\nFunction=GetTitleOfItemsNT\nParam=4\nWidth=52\n"
                       "NewsSite=Harbour Town Gazette\nUpdateIntervall="),
            std::string::npos)
      << saved;
}

// Width is read per meter: a message of the plug-in is cut like any text,
// no Width or an empty one cuts nothing, and a Width that is no number is
// said instead of the meter's text.
TEST(ConkyWidthTest, EachMeterHasAWidthOfItsOwn) {
  ASSERT_TRUE(fs::exists(KORVO_CONKY_PROGRAM))
      << KORVO_CONKY_PROGRAM << " is missing: scripts/install-deps installs conky-std";
  TempDir dir;
  for (const char* file : {KORVO_PLUGIN_PATH, KORVO_CONKY_MODULE_PATH, KORVO_CONKY_SCRIPT_PATH})
    fs::copy_file(file, dir.file(fs::path(file).filename().string()));
  // No download: the meters name a site that Korvo.ini lacks.
  writeWholeFile(dir.file("Korvo.ini"),
                 "[Settings]\nShowError=yes\n[NewsSites]\nElsewhere=http://news.test/\n");
  writeWholeFile(dir.file("host.ini"),
                 "[Ten]\nFunction=GetTitle\nNewsSite=Gone\nWidth=10\n"
                 "[Whole]\nFunction=GetTitle\nNewsSite=Gone\n"
                 "[Empty]\nFunction=GetTitle\nNewsSite=Gone\nWidth=\n"
                 "[Spaced]\nFunction=GetTitle\nNewsSite=Gone\nWidth = 12 \n"
                 "[Letters]\nFunction=GetTitle\nNewsSite=Gone\nWidth=wide\n"
                 "[Negative]\nFunction=GetTitle\nNewsSite=Gone\nWidth=-5\n");
  writeWholeFile(dir.file("conky.conf"),
                 "conky.config = {\n"
                 "  out_to_x = false, out_to_console = true, background = false,\n"
                 "  total_run_times = 1, text_buffer_size = 2048,\n"
                 "  lua_load = '" + dir.file("korvo.lua") + "',\n"
                 "  lua_startup_hook = 'korvo_setup " + dir.file("host.ini") + "',\n"
                 "  lua_shutdown_hook = 'korvo_shutdown',\n"
                 "}\n"
                 "conky.text = [[\n"
                 "${lua_parse korvo Ten}\n${lua_parse korvo Whole}\n${lua_parse korvo Empty}\n"
                 "${lua_parse korvo Spaced}\n${lua_parse korvo Letters}\n"
                 "${lua_parse korvo Negative}\n"
                 "]]\n");
  ProgramRun run;
  run.args = {KORVO_CONKY_PROGRAM, "-c", dir.file("conky.conf")};
  run.workDir = dir.path();
  run.env = {"HOME=" + dir.path(), "DISPLAY="};
  ProgramResult r = runProgram(run);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string message = "No news site named 'Gone' in Korvo.ini.\n";
  EXPECT_EQ(r.out, "No news s\u2026\n" + message + message + "No news sit\u2026\n" +
                       "korvo: [Letters]: Width \"wide\" is not a number of characters\n"
                       "korvo: [Negative]: Width \"-5\" is not a number of characters\n");
  EXPECT_NE(r.err.find("korvo: [Letters]: Width \"wide\""), std::string::npos) << r.err;
}

}  // namespace
}  // namespace korvo::test
