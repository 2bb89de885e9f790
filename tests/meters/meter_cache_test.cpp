// A meter finds its feed again without a search; a changed site or an
// emptied cache must send its reads to the feed the cache holds now. No
// server listens on the feeds' address, so every read is a failed refresh
// of that feed.
#include <gtest/gtest.h>

#include "meters/meter.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

constexpr const char* kOne = "http://127.0.0.13/one.xml";
constexpr const char* kTwo = "http://127.0.0.13/two.xml";

class MeterCacheTest : public ::testing::Test {
 protected:
  MeterCacheTest() : cache(environment) {
    environment.clock = &clock;
    globals.iniPath = dir.file("Korvo.ini");
    test::writeWholeFile(globals.iniPath, std::string("[NewsSites]\nOne=") + kOne + "\nTwo=" +
                                              kTwo + "\n");
    env = MeterEnv{&cache, &globals, nullptr};
  }

  // True when the feed of url exists and has been refreshed.
  bool refreshed(const char* url) {
    const Feed* feed = cache.find(url);
    return feed && !feed->state.firstRun;
  }

  test::TempDir dir;
  ManualClock clock;
  Environment environment;
  FeedCache cache;
  PluginSettings globals;
  MeterEnv env;
};

TEST_F(MeterCacheTest, ReadsFollowTheSiteAndAnEmptiedCache) {
  globals.ShowError = true;
  Meter meter(0);
  meter.settings.NewsSite = "One";
  meter.resolveSite(env);
  EXPECT_NE(meter.channelText(env, "title"), "");  // the failure's message
  EXPECT_TRUE(refreshed(kOne));

  meter.settings.NewsSite = "Two";
  meter.resolveSite(env);
  meter.itemText(env, "itemtitle", 0);
  EXPECT_TRUE(refreshed(kTwo));

  cache.clear();
  meter.titleList(env, 3, 100, false);
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_TRUE(refreshed(kTwo)) << "the read went to the feed stored after clear()";

  Meter copy = meter;
  cache.clear();
  EXPECT_NE(copy.channelText(env, "link"), "");
  EXPECT_TRUE(refreshed(kTwo));
}

}  // namespace
}  // namespace korvo
