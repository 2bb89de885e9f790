// A feed refreshed from a real web server (nginx on a loopback address).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "feed/cleanup_options.h"
#include "retrieval/feed_refresh.h"
#include "support/case_address.h"
#include "support/nginx_server.h"
#include "support/prerequisite.h"

namespace korvo {
namespace {

std::string rss(const std::string& itemTitle) {
  return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Real</title>"
         "<item><title>" +
         itemTitle + "</title></item></channel></rss>\n";
}

TEST(RealServerTest, ValidatorsFromNginxGiveNotModifiedUntilTheFileChanges) {
  const std::string address = test::caseAddress();
  test::NginxServer nginx(address);
  if (!nginx.available()) KORVO_SKIP_FOR_PREREQUISITE() << nginx.problem();
  nginx.put("feed.xml", rss("first"));

  ManualClock clock;
  Environment env;
  env.clock = &clock;
  Feed feed("http://" + address + "/feed.xml", env);
  const CleanupOptions settings;
  const int interval = limits::kDefaultUpdateInterval;

  refresh(feed, interval, settings);
  ASSERT_EQ(feed.errorText, "");
  EXPECT_EQ(feed.itemField("itemtitle", 0), "first");
  EXPECT_THAT(feed.etag, ::testing::MatchesRegex("\"[0-9a-f]+-[0-9a-f]+\""));
  EXPECT_THAT(feed.lastModified, ::testing::EndsWith(" GMT"));

  clock.advance(interval);
  refresh(feed, interval, settings);
  EXPECT_TRUE(feed.state.notModified) << "nginx answers the validators with 304";
  EXPECT_EQ(feed.itemField("itemtitle", 0), "first");

  nginx.put("feed.xml", rss("second, longer"));
  clock.advance(interval);
  refresh(feed, interval, settings);
  EXPECT_FALSE(feed.state.notModified);
  EXPECT_EQ(feed.errorText, "");
  EXPECT_EQ(feed.itemField("itemtitle", 0), "second, longer");
}

}  // namespace
}  // namespace korvo
