// The plug-in in Debian's X11 Conky (conky-std) on a virtual X server: the
// window shows the meters; its screenshot lands in the build directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dialog/xvfb_server.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;

TEST(ConkyWindowTest, DrawsTheMetersInItsWindow) {
  KORVO_SKIP_WITHOUT_PORT_80();
  ASSERT_TRUE(fs::exists(KORVO_CONKY_PROGRAM))
      << KORVO_CONKY_PROGRAM << " is missing: scripts/install-deps installs conky-std";
  const std::string import = findProgram("import");
  ASSERT_FALSE(import.empty()) << "ImageMagick's import is missing: scripts/install-deps";
  XvfbServer xvfb(480, 200);
  ASSERT_TRUE(xvfb.running()) << xvfb.error();
  TempDir dir;
  for (const char* file : {KORVO_PLUGIN_PATH, KORVO_CONKY_MODULE_PATH, KORVO_CONKY_SCRIPT_PATH})
    fs::copy_file(file, dir.file(fs::path(file).filename()));
  LoopbackServer server(
      caseAddress(),
      Script().send(
          httpAnswer("HTTP/1.0 200 OK", {},
                     "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>"
                     "<title>Window Gazette</title><link>http://news.test/</link>"
                     "<item><title>Ferry timetable changes</title></item>"
                     "<item><title>Caf\xC3\xA9 cr\xC3\xA8me</title></item></channel></rss>\n")));
  ASSERT_TRUE(server.ok()) << server.error();
  writeWholeFile(dir.file("Korvo.ini"),
                 "[Settings]\nWaitForDownload=-1\nDoLog=yes\n[NewsSites]\nNews=" +
                     server.url("/feed.xml") + "\n");
  writeWholeFile(dir.file("host.ini"),
                 "[Title]\nFunction=GetTitle\nNewsSite=News\n"
                 "[Headlines]\nFunction=GetTitleOfItemsNT\nParam=2\nNewsSite=News\n");
  const std::string shot = std::string(KORVO_TEST_ARTIFACT_DIR) + "/conky-window.png";
  fs::remove(shot);
  // Conky's own draw hook takes a screenshot after each drawing until one
  // shows the orange title, keeps it and asks Conky to quit: no guess how
  // long mapping the window takes. SIGTERM, since a shell may have started
  // the tests with SIGINT ignored; either runs the shutdown hook.
  const std::string convert = findProgram("convert");
  writeWholeFile(dir.file("shot.lua"),
                 "local done = false\n"
                 "function conky_shot()\n"
                 "  if done then return end\n"
                 "  os.execute('" +
                     import + " -window root " + dir.file("try.png") +
                     "')\n"
                     "  if os.execute('" +
                     convert + " " + dir.file("try.png") +
                     " -format %c histogram:info:- | grep -q \"#FFA500\"') then\n"
                     "    done = os.rename('" +
                     dir.file("try.png") + "', '" + shot +
                     "')\n"
                     "    local stat = io.open('/proc/self/stat')\n"
                     "    os.execute('kill -TERM ' .. stat:read('n'))\n"
                     "    stat:close()\n"
                     "  end\n"
                     "end\n");
  writeWholeFile(dir.file("conky.conf"),
                 "conky.config = {\n"
                 "  out_to_x = true, out_to_console = true, background = false,\n"
                 "  own_window = true, own_window_type = 'normal', double_buffer = true,\n"
                 "  alignment = 'top_left', gap_x = 0, gap_y = 0, minimum_width = 300,\n"
                 "  use_xft = true, font = 'DejaVu Sans Mono:size=12',\n"
                 "  own_window_colour = '000000', default_color = 'white', color1 = 'orange',\n"
                 "  total_run_times = 0, update_interval = 0.1, text_buffer_size = 2048,\n"
                 "  lua_load = '" +
                     dir.file("korvo.lua") + " " + dir.file("shot.lua") +
                     "',\n"
                     "  lua_startup_hook = 'korvo_setup " +
                     dir.file("host.ini") +
                     "',\n"
                     "  lua_shutdown_hook = 'korvo_shutdown',\n"
                     "  lua_draw_hook_post = 'shot',\n"
                     "}\n"
                     "conky.text = [[\n"
                     "${color1}${lua_parse korvo Title}$color\n"
                     "${lua_parse korvo Headlines}\n"
                     "]]\n");
  ProgramRun run;
  run.args = {KORVO_CONKY_PROGRAM, "-c", dir.file("conky.conf")};
  run.workDir = dir.path();
  run.env = {"HOME=" + dir.path(), "DISPLAY=" + xvfb.display()};
  run.timeoutSeconds = 30;
  ProgramResult r = runProgram(run);
  ASSERT_FALSE(r.timedOut) << "the window never showed the title\n" << r.err;
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Window Gazette\nFerry timetable changes\nCaf\xC3\xA9 cr\xC3\xA8me\n"),
            std::string::npos)
      << r.out;
  ASSERT_TRUE(fs::exists(shot)) << r.err;
  std::cout << "screenshot: " << shot << "\n";

  // The title in orange and the headlines in white: both colours drawn.
  ProgramRun histogram;
  histogram.args = {convert, shot, "-format", "%c", "histogram:info:-"};
  ProgramResult colours = runProgram(histogram);
  ASSERT_EQ(colours.exitCode, 0) << colours.err;
  EXPECT_NE(colours.out.find("#FFA500"), std::string::npos) << "no orange title\n" << colours.out;
  EXPECT_NE(colours.out.find("#FFFFFF"), std::string::npos) << "no white text\n" << colours.out;
  const std::string log = readWholeFile(dir.file("Korvolog.txt"));
  EXPECT_NE(log.find("dllshutdown()"), std::string::npos) << log;
}

}  // namespace
}  // namespace korvo::test
