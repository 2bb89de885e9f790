// The plug-in in Debian's X11 Conky (conky-std) on a virtual X server: the
// window shows the meters; its screenshot lands in the build directory.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dialog/xvfb_server.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;

const char* const kMark = "\xE2\x80\xA2 ";  // "• ", UTF-8
// What ${alignr} leaves in Conky's console output while it draws a window
// too: the text to its right goes on the next line.
const char* const kRight = "\n";

std::string feedAnswer(const std::string& title, const std::string& items) {
  return httpAnswer("HTTP/1.0 200 OK", {},
                    "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>"
                    "<title>" +
                        title + "</title><link>http://news.test/</link>" + items +
                        "</channel></rss>\n");
}

// Seconds since the epoch in RFC 822 form, as RSS writes pubDate.
std::string rfc822(std::time_t seconds) {
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[40];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &tm);
  return text;
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string datedItem(const std::string& title, const std::string& link, std::time_t date) {
  return "<item><title>" + title + "</title><link>" + link + "</link><pubDate>" + rfc822(date) +
         "</pubDate></item>";
}

// Conky in a window on an Xvfb of the case's own, with the plug-in, the
// module and the files a case writes in one directory.
class ConkyWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KORVO_SKIP_WITHOUT_PORT_80();
    ASSERT_TRUE(fs::exists(KORVO_CONKY_PROGRAM))
        << KORVO_CONKY_PROGRAM << " is missing: scripts/install-deps installs conky-std";
    import_ = findProgram("import");
    convert_ = findProgram("convert");
    ASSERT_FALSE(import_.empty() || convert_.empty())
        << "ImageMagick's import and convert are missing: scripts/install-deps";
    xvfb_ = std::make_unique<XvfbServer>(480, 112);
    ASSERT_TRUE(xvfb_->running()) << xvfb_->error();
    for (const char* file : {KORVO_PLUGIN_PATH, KORVO_CONKY_MODULE_PATH, KORVO_CONKY_SCRIPT_PATH})
      fs::copy_file(file, dir_.file(fs::path(file).filename()));
  }

  static std::string artifact(const std::string& name) {
    return std::string(KORVO_TEST_ARTIFACT_DIR) + "/" + name;
  }

  // Runs Conky on text (the body of conky.text) until its window shows the
  // orange title, drawn after the Lua expression ready held of the texts a
  // drawing showed (shown[SECTION], each meter's last text); the screenshot
  // is kept at shot. Conky's own draw hook checks both after each drawing,
  // keeps the screenshot and asks Conky to quit: no guess how long mapping
  // the window or a download takes. SIGTERM, since a shell may have started
  // the tests with SIGINT ignored; either runs the shutdown hook.
  ProgramResult runConky(const std::string& text, const std::string& shot,
                         const std::string& ready = "true") {
    fs::remove(shot);
    const std::string attempt = dir_.file("try.png");
    // The hook reads what the meters showed rather than asking the module
    // again: Conky draws once before its startup hook has run. With the
    // double buffer a drawing reaches the screen after the hook has run, so
    // the screenshot waits for the next.
    writeWholeFile(dir_.file("shot.lua"),
                   "local done, seen, shown, korvo = false, false, {}, conky_korvo\n"
                   "function conky_korvo(...)\n"
                   "  local text = korvo(...)\n"
                   "  shown[table.concat({...}, ' ')] = text\n"
                   "  return text\n"
                   "end\n"
                   "function conky_shot()\n"
                   "  if done then return end\n"
                   "  if not seen then\n"
                   "    seen = (" +
                       ready +
                       ") and true\n"
                       "    return\n"
                       "  end\n"
                       "  os.execute('" +
                       import_ + " -window root " + attempt +
                       "')\n"
                       "  if os.execute('" +
                       convert_ + " " + attempt +
                       " -format %c histogram:info:- | grep -q \"#FFA500\"') then\n"
                       "    done = os.rename('" +
                       attempt + "', '" + shot +
                       "')\n"
                       "    local stat = io.open('/proc/self/stat')\n"
                       "    os.execute('kill -TERM ' .. stat:read('n'))\n"
                       "    stat:close()\n"
                       "  end\n"
                       "end\n");
    writeWholeFile(dir_.file("conky.conf"),
                   "conky.config = {\n"
                   "  out_to_x = true, out_to_console = true, background = false,\n"
                   "  own_window = true, own_window_type = 'normal', double_buffer = true,\n"
                   "  alignment = 'top_left', gap_x = 20, gap_y = 20,\n"
                   "  minimum_width = 440, maximum_width = 440,\n"
                   "  use_xft = true, font = 'DejaVu Sans Mono:size=10',\n"
                   "  own_window_colour = '202830', default_color = 'white',\n"
                   "  color1 = 'orange', color2 = '9DB0C0',\n"
                   "  total_run_times = 0, update_interval = 0.1, text_buffer_size = 2048,\n"
                   "  lua_load = '" +
                       dir_.file("korvo.lua") + " " + dir_.file("shot.lua") +
                       "',\n"
                       "  lua_startup_hook = 'korvo_setup " +
                       dir_.file("host.ini") +
                       "',\n"
                       "  lua_shutdown_hook = 'korvo_shutdown',\n"
                       "  lua_draw_hook_post = 'shot',\n"
                       "}\n"
                       "conky.text = [[\n" +
                       text + "]]\n");
    ProgramRun run;
    run.args = {KORVO_CONKY_PROGRAM, "-c", dir_.file("conky.conf")};
    run.workDir = dir_.path();
    run.env = {"HOME=" + dir_.path(), "DISPLAY=" + xvfb_->display()};
    run.timeoutSeconds = 30;
    ProgramResult r = runProgram(run);
    EXPECT_FALSE(r.timedOut) << "the window never showed the title (after: " << ready << ")\n"
                             << r.err;
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(shot)) << r.err;
    return r;
  }

  // The colours the screenshot at shot has, as convert's histogram lists them.
  std::string coloursOf(const std::string& shot) {
    ProgramRun histogram;
    histogram.args = {convert_, shot, "-format", "%c", "histogram:info:-"};
    ProgramResult colours = runProgram(histogram);
    EXPECT_EQ(colours.exitCode, 0) << colours.err;
    return colours.out;
  }

  TempDir dir_;
  std::unique_ptr<XvfbServer> xvfb_;
  std::string import_;
  std::string convert_;
};

TEST_F(ConkyWindowTest, DrawsTheMetersInItsWindow) {
  LoopbackServer server(
      caseAddress(),
      Script().send(feedAnswer("Window Gazette",
                               "<item><title>Ferry timetable changes</title></item>"
                               "<item><title>Caf\xC3\xA9 cr\xC3\xA8me</title></item>")));
  ASSERT_TRUE(server.ok()) << server.error();
  writeWholeFile(dir_.file("Korvo.ini"),
                 "[Settings]\nWaitForDownload=-1\nDoLog=yes\n[NewsSites]\nNews=" +
                     server.url("/feed.xml") + "\n");
  writeWholeFile(dir_.file("host.ini"),
                 "[Title]\nFunction=GetTitle\nNewsSite=News\n"
                 "[Headlines]\nFunction=GetTitleOfItemsNT\nParam=2\nNewsSite=News\n");
  const std::string shot = artifact("conky-window-plain.png");
  ProgramResult r = runConky(
      "${color1}${lua_parse korvo Title}$color\n"
      "${lua_parse korvo Headlines}\n",
      shot);
  ASSERT_FALSE(HasFailure());
  EXPECT_NE(r.out.find("Window Gazette\nFerry timetable changes\nCaf\xC3\xA9 cr\xC3\xA8me\n"),
            std::string::npos)
      << r.out;
  std::cout << "screenshot: " << shot << "\n";

  // The title in orange and the headlines in white: both colours drawn.
  const std::string colours = coloursOf(shot);
  EXPECT_NE(colours.find("#FFA500"), std::string::npos) << "no orange title\n" << colours;
  EXPECT_NE(colours.find("#FFFFFF"), std::string::npos) << "no white text\n" << colours;
  const std::string log = readWholeFile(dir_.file("Korvolog.txt"));
  EXPECT_NE(log.find("dllshutdown()"), std::string::npos) << log;
}

// Two starts of Conky: the first leaves the feed's copy on disk, the second
// downloads the feed with one item more, and marks that one alone. Each
// item's line is its title and, at the right, its date as the time since.
TEST_F(ConkyWindowTest, MarksTheNewItemAndShowsHowOldEachIs) {
  // Dates from the clock Conky reads too; the hour and day counts cannot
  // change while the case runs, the minutes are checked against it.
  const std::time_t start = std::time(nullptr);
  const std::string older = datedItem("Ferry timetable changes from Monday",
                                      "http://news.test/ferry", start - 3 * 3600 - 10 * 60) +
                            datedItem("Lighthouse museum reopens", "http://news.test/lighthouse",
                                      start - 2 * 86400 - 3600);
  const std::string added =
      datedItem("Storm warning for the weekend", "http://news.test/storm", start - 12 * 60);
  LoopbackServer server(caseAddress(),
                        std::vector<Script>{
                            Script().send(feedAnswer("Harbour Town Gazette", older)),
                            Script().send(feedAnswer("Harbour Town Gazette", older + added)),
                        });
  ASSERT_TRUE(server.ok()) << server.error();
  // Downloads on the plug-in's workers, so that the copy on disk is kept.
  writeWholeFile(
      dir_.file("Korvo.ini"),
      "[Settings]\nDoLog=yes\n[NewsSites]\nHarbour Town Gazette=" + server.url("/rss.xml") + "\n");
  std::string hostIni = "[Title]\nFunction=GetTitle\nNewsSite=Harbour Town Gazette\n";
  std::string text = "${color1}${lua_parse korvo Title}$color\n";
  for (const char* n : {"0", "1", "2"}) {
    hostIni += std::string("[Item ") + n + "]\nFunction=GetItemTitle\nParam=" + n +
               "\nNewsSite=Harbour Town Gazette\nOrder=newest\nMarkNew=\"" + kMark + "\"\n" +
               "[Date " + n + "]\nFunction=GetItemPubDate\nParam=" + n +
               "\nNewsSite=Harbour Town Gazette\nOrder=newest\nDateFormat=relative\n";
    text += std::string("${lua_parse korvo Item ") + n +
            "}${alignr}${color2}${lua_parse korvo Date " + n + "}$color\n";
  }
  writeWholeFile(dir_.file("host.ini"), hostIni);

  const std::string olderLines = "Ferry timetable changes from Monday" + std::string(kRight) +
                                 "3 h ago\nLighthouse museum reopens" + kRight + "2 days ago\n";
  const ProgramResult first = runConky(text, dir_.file("first.png"));
  ASSERT_FALSE(HasFailure());
  EXPECT_NE(first.out.find("Harbour Town Gazette\n" + olderLines), std::string::npos) << first.out;
  EXPECT_EQ(count(first.out, kMark), 0u) << "nothing is new yet\n" << first.out;
  ASSERT_TRUE(fs::exists(dir_.file("KorvoCache"))) << first.err;

  // The second start shows the copy on disk at once; the window is kept
  // once the downloaded feed's new item shows, marked.
  const std::string shot = artifact("conky-window.png");
  const ProgramResult second =
      runConky(text, shot, "(shown['Item 0'] or ''):find('" + std::string(kMark) + "', 1, true)");
  const std::time_t end = std::time(nullptr);
  ASSERT_FALSE(HasFailure());
  std::cout << "screenshot: " << shot << "\n";
  EXPECT_EQ(server.connections(), 2u);
  const std::string storm = std::string(kMark) + "Storm warning for the weekend";
  const std::size_t last = second.out.rfind("Harbour Town Gazette\n");
  ASSERT_NE(last, std::string::npos) << second.out;
  const std::string shown = second.out.substr(last);
  bool stormShown = false;
  for (std::time_t minutes = 12; minutes <= (end - start) / 60 + 12; ++minutes)
    stormShown = stormShown || shown == "Harbour Town Gazette\n" + storm + kRight +
                                            std::to_string(minutes) + " min ago\n" + olderLines;
  EXPECT_TRUE(stormShown) << shown;
  // The mark is the new item's alone, in every update that showed the item.
  EXPECT_EQ(count(second.out, kMark), count(second.out, storm)) << second.out;
  EXPECT_EQ(count(second.out, "Storm"), count(second.out, storm)) << second.out;

  const std::string colours = coloursOf(shot);
  for (const char* colour : {"#FFA500", "#FFFFFF", "#9DB0C0"})
    EXPECT_NE(colours.find(colour), std::string::npos) << colour << " not drawn\n" << colours;
}

}  // namespace
}  // namespace korvo::test
