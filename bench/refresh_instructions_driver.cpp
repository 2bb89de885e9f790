// Runs, for counting instructions with callgrind, three things on one
// generated feed, each between callgrind's client requests so that its
// count comes out on its own, without the program's start-up:
//   "parse"    a bare TinyXML parse of the feed's bytes and the tree's free,
//              in the single-byte mode the refresh parses in;
//   "prescan"  the pre-scan of the same bytes;
//   "refresh"  a whole refresh of the feed through the built plug-in, as a
//              host makes it: one meter, the download on the host's thread
//              (WaitForDownload=-1), texts in latin1, the feed served by a
//              loopback server on port 80 of 127.0.0.12 (needs root). A
//              small feed is refreshed first, outside the count, so that
//              what a process does once is not counted.
// Run it as
//   valgrind --tool=callgrind --instr-atstart=no refresh_instructions_driver KIND SIZE [ADDRESS]
// with KIND ascii, latin1, utf8 (RSS 2.0 feeds of the pipeline benchmark)
// or html (the HTML-heavy one), SIZE in bytes and ADDRESS the loopback
// address to serve the feeds from (127.0.0.12); each count is a dump of its
// own, named by the request. Outside valgrind the requests do nothing.
#include <malloc.h>
#include <tinyxml.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "feed/xml_prescan.h"
#include "support/generated_feed.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace {

using korvo::bench::htmlHeavyFeed;
using korvo::bench::newsFeed;

bool feedOfKind(const std::string& kind, std::size_t size, std::string& out) {
  if (kind == "html") {
    out = htmlHeavyFeed(size);
    return true;
  }
  for (korvo::bench::Variant variant :
       {korvo::bench::kAscii, korvo::bench::kLatin1, korvo::bench::kUtf8}) {
    if (kind == korvo::bench::kVariantNames[variant]) {
      out = newsFeed(korvo::bench::kRss, variant, size);
      return true;
    }
  }
  return false;
}

// Counts what work does as the dump named name. The heap is first made
// the same for each (glibc's small free blocks merged), so that none pays
// for what the one before it freed.
template <typename Work>
void counted(const char* name, Work work) {
  malloc_trim(0);
  CALLGRIND_START_INSTRUMENTATION;
  CALLGRIND_ZERO_STATS;
  work();
  CALLGRIND_DUMP_STATS_AT(name);
  CALLGRIND_STOP_INSTRUMENTATION;
}

int fail(const std::string& why) {
  std::fprintf(stderr, "refresh_instructions_driver: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string body;
  if ((argc != 3 && argc != 4) || !feedOfKind(argv[1], std::strtoul(argv[2], nullptr, 10), body)) {
    std::fprintf(stderr, "usage: %s ascii|latin1|utf8|html SIZE [ADDRESS]\n", argv[0]);
    return 2;
  }
  if (!korvo::test::mayBindPort80()) return fail(korvo::test::kPort80SkipMessage);

  bool parsed = false;
  counted("parse", [&] {
    TiXmlDocument tree;
    tree.Parse(body.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    parsed = !tree.Error();
  });
  if (!parsed) return fail("TinyXML does not parse the feed");

  korvo::XmlPrescanResult scanned = korvo::XmlPrescanResult::TooDeep;
  korvo::XmlShape shape;
  // As for the refresh below, what the first walk of a thread does once
  // (the look-up of the C library's calls, the character classes) is
  // not counted: a small feed is walked first.
  korvo::prescanXml(korvo::bench::rssDocument("Small", {"One"}), korvo::XmlLimits(), &shape);
  counted("prescan", [&] { scanned = korvo::prescanXml(body, korvo::XmlLimits(), &shape); });
  if (scanned != korvo::XmlPrescanResult::Accepted || shape.parseError)
    return fail("the pre-scan refuses the feed");

  korvo::test::TempDir dir;
  const std::string address = argc == 4 ? argv[3] : "127.0.0.12";
  korvo::test::writeWholeFile(dir.file("Korvo.ini"),
                              "[Settings]\nShowError=no\nDoLog=no\nWaitForDownload=-1\n"
                              "CodePage=latin1\n[NewsSites]\nSmall=http://" +
                                  address + "/small.xml\nLarge=http://" + address + "/large.xml\n");
  korvo::test::writeWholeFile(dir.file("host.ini"),
                              "[Small]\nNewsSite=Small\n[Large]\nNewsSite=Large\n");
  const std::string small = korvo::bench::rssDocument("Small", {"One", "Two", "Three"});
  korvo::test::LoopbackServer server(
      address,
      std::vector<korvo::test::Script>{korvo::test::Script().send(korvo::bench::okAnswer(small)),
                                       korvo::test::Script().send(korvo::bench::okAnswer(body))});
  if (!server.ok()) return fail(server.error());
  korvo::test::PluginLibrary plugin(dir.path(), KORVO_PLUGIN_PATH);
  if (!plugin.loaded()) return fail(plugin.error());
  const std::string hostIni = dir.file("host.ini");
  const int warmUp = plugin->dllstartup(0, 0);
  plugin->src_load_settings(warmUp, hostIni.c_str(), "Small");
  if (std::strcmp(plugin->GetTitle(warmUp), "Small") != 0) return fail("the small feed failed");
  const int meter = plugin->dllstartup(0, 0);
  plugin->src_load_settings(meter, hostIni.c_str(), "Large");
  std::string title;
  counted("refresh", [&] { title = plugin->GetTitle(meter); });
  const std::string item = plugin->GetItemTitle(meter, "2");
  plugin->dllshutdown(meter);
  plugin->dllshutdown(warmUp);
  if (title.empty() || item.empty()) return fail("the refresh of the feed failed");
  std::printf("%zu bytes, %zu in the title\n", body.size(), title.size());
  return 0;
}
