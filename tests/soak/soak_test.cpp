// The long run: three meters on one feed, 1,000 refreshes from a loopback
// server whose feed changes every time (RSS 2.0, RSS 1.0 and Atom in turn,
// with mark-up, references and UTF-8), and 100,000 queries, with the clock
// moved by hand. Built only with -DKORVO_SOAK=ON (make soak), under
// LeakSanitizer, which fails the program on any leak at exit. The memory
// in use after the run (the allocator's count; without AddressSanitizer
// also the resident size) must be within 10% of what it was after the
// first 100 refreshes.
#include <malloc.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "meters/meter.h"
#include "meters/plugin_settings.h"
#include "retrieval/feed_cache.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define KORVO_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVO_SOAK_ASAN 1
#endif
#endif

#ifdef KORVO_SOAK_ASAN
// From the sanitizer runtime (declared here: g++ ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace korvo {
namespace {

constexpr int kRefreshes = 1000;
constexpr int kQueriesPerRefresh = 100;
constexpr int kBaselineRefreshes = 100;

std::size_t bytesInUse() {
#ifdef KORVO_SOAK_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

std::size_t residentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

std::string roundTitle(int round) { return "Round " + std::to_string(round); }

// The feed of one round: its dialect, size and texts change every time;
// every size occurs within the first 100 rounds.
std::string feedOfRound(int round) {
  const int items = 5 + round % 20;
  const std::string n = std::to_string(round);
  const std::string text = "<![CDATA[<p>Story " + n + " &amp; more<br>caf\xC3\xA9 \xE2\x82\xAC" +
                           std::string(static_cast<std::size_t>(round % 50) * 4, 'x') + "</p>]]>";
  std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  switch (round % 3) {
    case 0:
      doc += "<rss version=\"2.0\"><channel><title>" + roundTitle(round) +
             "</title><link>http://soak.test/" + n + "</link><description>" + text +
             "</description>";
      for (int i = 0; i < items; ++i)
        doc += "<item><title>Item " + std::to_string(i) + " of " + n +
               "</title><link>http://soak.test/" + n + "/" + std::to_string(i) +
               "</link><description>" + text + "</description><pubDate>day " + n +
               "</pubDate></item>";
      return doc + "</channel></rss>\n";
    case 1:
      doc += "<rdf:RDF><channel><title>" + roundTitle(round) + "</title><link>http://soak.test/" +
             n + "</link></channel>";
      for (int i = 0; i < items; ++i)
        doc += "<item><title>Item " + std::to_string(i) + " of " + n +
               "</title><description>" + text + "</description></item>";
      return doc + "</rdf:RDF>\n";
    default:
      doc += "<feed><title>" + roundTitle(round) + "</title><link href=\"http://soak.test/" + n +
             "\"/><subtitle>" + text + "</subtitle>";
      for (int i = 0; i < items; ++i)
        doc += "<entry><title>Item " + std::to_string(i) + " of " + n +
               "</title><link href=\"http://soak.test/e" + std::to_string(i) + "\"/><summary>" +
               text + "</summary><published>day " + n + "</published></entry>";
      return doc + "</feed>\n";
  }
}

TEST(SoakTest, ThousandRefreshesAndHundredThousandQueriesHoldNoMore) {
  KORVO_SKIP_WITHOUT_PORT_80();
  std::vector<test::Script> scripts;
  for (int round = 0; round < kRefreshes; ++round)
    scripts.push_back(test::Script().send(
        test::httpAnswer("HTTP/1.0 200 OK", {"ETag: \"r" + std::to_string(round) + "\""},
                         feedOfRound(round))));
  test::LoopbackServer server(test::caseAddress(), std::move(scripts));
  ASSERT_TRUE(server.ok()) << server.error();

  test::TempDir dir;
  test::writeWholeFile(dir.file("Korvo.ini"),
                       "[Settings]\nWaitForDownload=-1\nShowError=yes\n[NewsSites]\nSoak=" + server.url("/feed.xml") +
                           "\n");
  test::writeWholeFile(dir.file("host.ini"),
                       "[Plain]\nNewsSite=Soak\nUpdateIntervall=60\n"
                       "[Tip]\nNewsSite=Soak\nUpdateIntervall=60\nToolTip=5\nToolTipItem=3\n"
                       "[Raw]\nNewsSite=Soak\nUpdateIntervall=60\nFilterHtml=no\nReplaceBr=no\n"
                       "FilterUnicode=no\n");
  ManualClock clock;
  Environment env;
  env.clock = &clock;
  FeedCache cache(env);
  PluginSettings globals;
  globals.locateFiles(dir.file("libkorvo.so"));
  globals.loadGlobals();
  const MeterEnv meterEnv{&cache, &globals, nullptr};
  std::vector<Meter> meters;
  for (const char* section : {"Plain", "Tip", "Raw"}) {
    meters.emplace_back(static_cast<int>(meters.size()));
    meters.back().loadSettings(meterEnv, dir.file("host.ini"), section);
  }

  std::size_t baselineBytes = 0, baselineResident = 0, answered = 0;
  for (int round = 0; round < kRefreshes; ++round) {
    // The first query of the round finds the feed due and refreshes it.
    ASSERT_EQ(meters[0].channelText(meterEnv, "title"), roundTitle(round));
    for (int q = 1; q < kQueriesPerRefresh; ++q) {
      Meter& meter = meters[static_cast<std::size_t>(q) % meters.size()];
      switch (q % 5) {
        case 0: answered += meter.channelText(meterEnv, "description").size(); break;
        case 1: answered += meter.itemText(meterEnv, "itemtitle", q % 45).size(); break;
        case 2: answered += meter.itemText(meterEnv, "itemdescription", q % 7).size(); break;
        case 3: answered += meter.titleList(meterEnv, q, 32767, q % 2 == 0).size(); break;
        default: answered += meter.withTooltip(meterEnv, "text").size(); break;
      }
    }
    clock.advance(60);
    if (round + 1 == kBaselineRefreshes) {
      baselineBytes = bytesInUse();
      baselineResident = residentBytes();
    }
  }
  EXPECT_EQ(server.connections(), static_cast<std::size_t>(kRefreshes));
  EXPECT_EQ(cache.size(), 1u);
  const std::size_t endBytes = bytesInUse();
  const std::size_t endResident = residentBytes();
  std::printf("queries %d, refreshes %d, bytes answered %zu\n", kRefreshes * kQueriesPerRefresh,
              kRefreshes, answered);
  std::printf("in use after %d refreshes: %zu bytes; after %d: %zu bytes\n", kBaselineRefreshes,
              baselineBytes, kRefreshes, endBytes);
  std::printf("resident after %d refreshes: %zu bytes; after %d: %zu bytes\n", kBaselineRefreshes,
              baselineResident, kRefreshes, endResident);
  std::size_t recorded = 0;
  for (const std::string& request : server.requests()) recorded += request.size();
  std::printf("(counted in it: %zu bytes of requests recorded by the test's server)\n",
              recorded);
  EXPECT_LE(endBytes, baselineBytes + baselineBytes / 10);
#ifndef KORVO_SOAK_ASAN
  // Under AddressSanitizer the resident size follows its allocator's caches
  // and shadow memory, not the program; the bytes in use above still count.
  EXPECT_LE(endResident, baselineResident + baselineResident / 10);
#endif
}

}  // namespace
}  // namespace korvo
