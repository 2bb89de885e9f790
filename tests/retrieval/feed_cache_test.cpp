// The feed cache: one feed per URL, and memos that skip the search only
// while the cache that filled them still holds what they point to.
#include "retrieval/feed_cache.h"

#include <gtest/gtest.h>

#include <new>

namespace korvo {
namespace {

constexpr const char* kUrl = "http://news.test/feed.xml";

class FeedCacheTest : public ::testing::Test {
 protected:
  Environment env;
};

TEST_F(FeedCacheTest, OneFeedPerExactUrl) {
  FeedCache cache(env);
  Feed& feed = cache.getOrCreate(kUrl);
  cache.addUrl(kUrl);
  cache.addUrl("http://news.test/Feed.xml");
  EXPECT_EQ(&cache.getOrCreate(kUrl), &feed);
  EXPECT_EQ(cache.find(kUrl), &feed);
  EXPECT_EQ(cache.find("http://news.test/feed.xml/"), nullptr);
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_EQ(feed.url, kUrl);
}

TEST_F(FeedCacheTest, AMemoServesItsCacheUntilTheCacheIsEmptied) {
  FeedCache cache(env);
  FeedMemo memo;
  Feed& first = cache.getOrCreate(kUrl, memo);
  EXPECT_EQ(&first, cache.find(kUrl));
  first.errorText = "kept";
  EXPECT_EQ(&cache.getOrCreate(kUrl, memo), &first);
  EXPECT_EQ(cache.getOrCreate(kUrl, memo).errorText, "kept");

  cache.clear();
  Feed& second = cache.getOrCreate(kUrl, memo);
  EXPECT_EQ(&second, cache.find(kUrl)) << "a new feed, not the destroyed one";
  EXPECT_EQ(second.url, kUrl);
  EXPECT_EQ(second.errorText, "");
  EXPECT_EQ(cache.size(), 1u);
}

TEST_F(FeedCacheTest, AMemoOfAnotherCacheIsNotUsed) {
  FeedCache a(env);
  FeedCache b(env);
  FeedMemo memo;
  Feed& inA = a.getOrCreate(kUrl, memo);
  Feed& inB = b.getOrCreate(kUrl, memo);
  EXPECT_NE(&inA, &inB);
  EXPECT_EQ(&inB, b.find(kUrl));
  EXPECT_EQ(&a.getOrCreate(kUrl, memo), &inA);
}

TEST_F(FeedCacheTest, AMemoOfADestroyedCacheIsNotUsedByOneInItsPlace) {
  alignas(FeedCache) unsigned char place[sizeof(FeedCache)];
  FeedMemo memo;
  FeedCache* gone = new (place) FeedCache(env);
  gone->getOrCreate(kUrl, memo).errorText = "gone";
  gone->~FeedCache();
  FeedCache* cache = new (place) FeedCache(env);
  Feed& feed = cache->getOrCreate(kUrl, memo);
  EXPECT_EQ(&feed, cache->find(kUrl));
  EXPECT_EQ(feed.url, kUrl);
  EXPECT_EQ(feed.errorText, "");
  cache->~FeedCache();
}

}  // namespace
}  // namespace korvo
