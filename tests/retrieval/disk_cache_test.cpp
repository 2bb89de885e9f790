#include "retrieval/disk_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/logger.h"
#include "platform/file_system.h"
#include "platform/module_path.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::readWholeFile;
using test::TempDir;
using test::writeWholeFile;

constexpr std::uint32_t kDay = 24 * 60 * 60;
const std::string kUrl = "http://news.example/feed.xml";

StoredCopy sampleCopy(std::string url = kUrl, std::string body = "<rss><channel/></rss>") {
  StoredCopy copy;
  copy.url = std::move(url);
  copy.finalUrl = "https://www.news.example/rss/feed.xml";
  copy.etag = "\"v1-abc\"";
  copy.lastModified = "Mon, 01 Jan 2024 10:00:00 GMT";
  copy.charset = "iso-8859-2";
  copy.body = std::move(body);
  return copy;
}

// An independent CRC-32 (the zlib one), to build files that are wrong in
// one way only.
std::uint32_t crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void set32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

// The checksum at byte 12 made right again after a change elsewhere.
std::string resealed(std::string bytes) {
  set32(bytes, 12, 0);
  set32(bytes, 12, crc32(bytes));
  return bytes;
}

class DiskCacheTest : public ::testing::Test {
 protected:
  DiskCacheTest() {
    logger_.setEnabled(true);
    logger_.openLog(dir_.path());
    env_.log = &logger_;
    env_.clock = &clock_;
  }

  std::string fileOf(const std::string& url) const {
    return folder_ + kPathSeparator + disk_cache::fileNameFor(url);
  }
  std::string logText() const { return readWholeFile(dir_.file("Korvolog.txt")); }
  bool present(const std::string& url) const { return files::fileInfo(fileOf(url)).has_value(); }

  TempDir dir_;
  ManualClock clock_{1700000000u};
  Logger logger_{clock_};
  Environment env_;
  std::string folder_ = disk_cache::folderBeside(dir_.file("Korvo.ini"));
};

TEST_F(DiskCacheTest, StoredCopiesLoadBackWhole) {
  struct Case {
    const char* what;
    StoredCopy copy;
  };
  StoredCopy bare;
  bare.url = "http://bare.example/";
  bare.body = "<feed></feed>";
  bare.isAtom = true;
  StoredCopy rdf = sampleCopy("http://rdf.example/index.rdf");
  rdf.isRdf = true;
  std::string binary;
  for (int i = 0; i < 3 * 65536; ++i) binary.push_back(static_cast<char>(i * 7 + i / 256));
  const Case cases[] = {
      {"every field", sampleCopy()},
      {"no validators, charset or redirect", bare},
      {"RDF flag", rdf},
      {"zero bytes, CR LF and every byte value in the body",
       sampleCopy("http://b.example/", binary)},
      {"empty body", sampleCopy("http://empty.example/", "")},
  };
  DiskCache cache(folder_, env_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clock_.advance(5);
    ASSERT_TRUE(cache.store(c.copy));
    StoredCopy expected = c.copy;
    expected.storedAt = clock_.now();
    clock_.advance(100);
    EXPECT_EQ(cache.load(c.copy.url), expected);
    // Another cache on the same folder (the next start) reads the same.
    DiskCache again(folder_, env_);
    EXPECT_EQ(again.load(c.copy.url), expected);
  }
  EXPECT_EQ(logText(), "") << "nothing to say when all goes well";
}

TEST_F(DiskCacheTest, TheKeyIsTheUrlAsConfiguredByteForByte) {
  DiskCache cache(folder_, env_);
  ASSERT_TRUE(cache.store(sampleCopy()));
  EXPECT_TRUE(files::fileInfo(folder_ + kPathSeparator + disk_cache::fileNameFor(kUrl)));
  for (const char* other : {"HTTP://news.example/feed.xml", "http://news.example/feed.xml/",
                            "https://www.news.example/rss/feed.xml", ""}) {
    SCOPED_TRACE(other);
    EXPECT_NE(disk_cache::fileNameFor(other), disk_cache::fileNameFor(kUrl));
    EXPECT_FALSE(cache.load(other));
  }
  EXPECT_EQ(disk_cache::fileNameFor(kUrl).size(), 16 + disk_cache::kFileSuffix.size());
  EXPECT_FALSE(cache.store(sampleCopy(""))) << "no copy without its key";
}

TEST_F(DiskCacheTest, UntrustworthyFilesAreIgnoredThenReplaced) {
  const std::string good = disk_cache::encode(sampleCopy());
  ASSERT_FALSE(good.empty());
  auto with = [&](std::size_t at, std::uint32_t v) {
    std::string bytes = good;
    set32(bytes, at, v);
    return resealed(bytes);
  };
  std::string flipped = good;
  flipped[flipped.size() - 3] ^= 0x20;
  std::string badChecksum = good;
  badChecksum[12] ^= 1;
  std::string garbage;
  for (int i = 0; i < 4000; ++i) garbage.push_back(static_cast<char>((i * 2654435761u) >> 13));
  std::string otherUrl = sampleCopy("http://news.example/feed.xmm").url;
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty file", ""},
      {"header cut short", good.substr(0, 30)},
      {"last byte missing", good.substr(0, good.size() - 1)},
      {"a byte too many", good + "x"},
      {"a body byte changed", flipped},
      {"checksum changed", badChecksum},
      {"garbage", garbage},
      {"another program's file", "<?xml version=\"1.0\"?><rss><channel></channel></rss>\n"},
      {"magic only", std::string(disk_cache::kMagic)},
      {"later format version", with(8, disk_cache::kFormatVersion + 1)},
      {"format version 0", with(8, 0)},
      {"unknown flag", with(20, 4)},
      {"body length past the end", with(44, 0xFFFFFFFFu)},
      {"URL length past the end", with(24, 0x7FFFFFFFu)},
      {"a text too long for the format", with(28, disk_cache::kMaxTextBytes + 1)},
      {"whole copy of another URL", disk_cache::encode(sampleCopy(otherUrl))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string folder = dir.path() + std::string(disk_cache::kFolderName);
    ASSERT_TRUE(files::makeDirectory(folder));
    const std::string path = folder + kPathSeparator + disk_cache::fileNameFor(kUrl);
    writeWholeFile(path, c.bytes);
    DiskCache cache(folder, env_);
    EXPECT_FALSE(cache.load(kUrl));
    EXPECT_FALSE(disk_cache::decode(c.bytes, kUrl));
    ASSERT_TRUE(cache.store(sampleCopy()));
    EXPECT_TRUE(cache.load(kUrl)) << "the next store replaces it";
  }
  EXPECT_TRUE(disk_cache::decode(good, kUrl)) << "the bad files differ from a good one";
}

TEST_F(DiskCacheTest, OnlyCopiesThatFitTheFormatAndTheFolderAreStored) {
  DiskCache cache(folder_, env_, DiskCacheBounds{4096, disk_cache::kDefaultMaxIdleSeconds});
  StoredCopy longEtag = sampleCopy();
  longEtag.etag.assign(disk_cache::kMaxTextBytes + 1, 'e');
  EXPECT_EQ(disk_cache::encode(longEtag), "");
  EXPECT_FALSE(cache.store(longEtag));
  EXPECT_FALSE(cache.store(sampleCopy(kUrl, std::string(5000, 'b')))) << "larger than the folder";
  EXPECT_FALSE(present(kUrl));
  longEtag.etag.pop_back();
  EXPECT_FALSE(disk_cache::encode(longEtag).empty()) << "the longest text still fits";
  EXPECT_EQ(logText(), "") << "a copy too large is no fault of the folder";
}

TEST_F(DiskCacheTest, LeastRecentlyUsedCopiesGoFirst) {
  const std::size_t fileSize =
      disk_cache::encode(sampleCopy("http://a.example/", std::string(1000, 'x'))).size();
  // Room for three copies of equal size.
  DiskCache cache(folder_, env_,
                  DiskCacheBounds{3 * fileSize + 10, disk_cache::kDefaultMaxIdleSeconds});
  auto storeAt = [&](const char* url) {
    clock_.advance(60);
    ASSERT_TRUE(cache.store(sampleCopy(url, std::string(1000, 'x'))));
  };
  storeAt("http://a.example/");
  storeAt("http://b.example/");
  storeAt("http://c.example/");
  clock_.advance(60);
  ASSERT_TRUE(cache.load("http://a.example/")) << "a load is a use";
  clock_.advance(60);
  cache.markUsed("http://b.example/");
  storeAt("http://d.example/");  // c is now the least recently used
  EXPECT_TRUE(present("http://a.example/"));
  EXPECT_TRUE(present("http://b.example/"));
  EXPECT_FALSE(present("http://c.example/"));
  EXPECT_TRUE(present("http://d.example/"));
  storeAt("http://e.example/");
  EXPECT_FALSE(present("http://a.example/"));
  EXPECT_TRUE(present("http://e.example/"));
}

TEST_F(DiskCacheTest, CopiesUnusedForThirtyDaysGo) {
  DiskCache cache(folder_, env_);
  const std::uint32_t start = clock_.now();
  ASSERT_TRUE(cache.store(sampleCopy("http://old.example/")));
  ASSERT_TRUE(cache.store(sampleCopy("http://used.example/")));
  clock_.set(start + 10 * kDay);
  ASSERT_TRUE(cache.store(sampleCopy("http://newer.example/")));
  clock_.set(start + 20 * kDay);
  cache.markUsed("http://used.example/");

  clock_.set(start + 30 * kDay);
  cache.prune();
  EXPECT_TRUE(present("http://old.example/")) << "thirty days exactly still count as used";
  clock_.set(start + 30 * kDay + 1);
  cache.prune();
  EXPECT_FALSE(present("http://old.example/"));
  EXPECT_TRUE(present("http://used.example/"));
  EXPECT_TRUE(present("http://newer.example/"));
  clock_.set(start + 40 * kDay + 1);
  ASSERT_TRUE(cache.store(sampleCopy("http://other.example/")));  // a store prunes too
  EXPECT_FALSE(present("http://newer.example/"));
  EXPECT_TRUE(present("http://used.example/"));

  // A clock set back makes no copy look old.
  clock_.set(start);
  cache.prune();
  EXPECT_TRUE(present("http://used.example/"));
  EXPECT_TRUE(present("http://other.example/"));
}

TEST_F(DiskCacheTest, PruningLeavesForeignFilesAndOthersWritesAlone) {
  DiskCache cache(folder_, env_);
  ASSERT_TRUE(cache.store(sampleCopy()));
  const std::string stem = folder_ + kPathSeparator + disk_cache::fileNameFor(kUrl);
  const std::string leftOver = stem + ".a1b2c3", inProgress = stem + ".d4e5f6";
  const std::string foreign = folder_ + kPathSeparator + "notes.txt";
  for (const std::string& path : {leftOver, inProgress, foreign}) writeWholeFile(path, "x");
  const std::uint32_t now = clock_.now();
  ASSERT_TRUE(files::setModifiedTime(leftOver, now - disk_cache::kStaleTemporarySeconds - 1));
  ASSERT_TRUE(files::setModifiedTime(inProgress, now - 5));
  ASSERT_TRUE(files::setModifiedTime(foreign, now - 400 * kDay));
  cache.prune();
  EXPECT_FALSE(files::fileInfo(leftOver)) << "left behind by a writer that died";
  EXPECT_TRUE(files::fileInfo(inProgress)) << "may be another process's write";
  EXPECT_TRUE(files::fileInfo(foreign));
  EXPECT_TRUE(cache.load(kUrl));
}

TEST_F(DiskCacheTest, AnUnwritableFolderMeansNoCopyAndOneLogLine) {
  // A file where the folder's parent should be: no user, root included,
  // can make the folder.
  writeWholeFile(dir_.file("blocked"), "a file, not a folder");
  const std::string folder =
      disk_cache::folderBeside(dir_.file("blocked") + kPathSeparator + "Korvo.ini");
  DiskCache cache(folder, env_);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(cache.store(sampleCopy("http://a.example/" + std::to_string(i))));
    EXPECT_FALSE(cache.load("http://a.example/" + std::to_string(i)));
    cache.markUsed("http://a.example/");
    cache.prune();
  }
  const std::string log = logText();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_NE(log.find("Cannot write the disk cache in " + folder), std::string::npos) << log;
}

// The format is the same in every build (32 and 64 bits, Linux and
// Windows) and changes only with its version: these bytes were written by
// an implementation of its description in fuzz/make-corpus.
TEST(DiskCacheFormatTest, OneFileLayoutInEveryBuild) {
  StoredCopy copy;
  copy.url = "http://a/";
  copy.finalUrl = "http://b/";
  copy.etag = "\"e\"";
  copy.lastModified = "lm";
  copy.charset = "utf-8";
  copy.body = "<rss/>";
  copy.isRdf = true;
  copy.storedAt = 1700000000u;
  const std::string hex =
      "4b4f52564f0d0a1a01000000469d857000f1536501000000090000000900000003000000020000000500000006"
      "000000687474703a2f2f612f687474703a2f2f622f2265226c6d7574662d383c7273732f3e";
  std::string expected;
  for (std::size_t i = 0; i < hex.size(); i += 2)
    expected.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  EXPECT_EQ(disk_cache::encode(copy), expected);
  EXPECT_EQ(disk_cache::decode(expected, "http://a/"), copy);
}

TEST(DiskCacheSettingTest, FolderBesideTheSettingsAndTheSwitch) {
  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(disk_cache::folderBeside("plugins" + sep + "Korvo.ini"),
            "plugins" + sep + "KorvoCache");
  EXPECT_EQ(disk_cache::folderBeside("Korvo.ini"), "KorvoCache");
  struct Case {
    const char* value;
    bool on;
  };
  const Case cases[] = {{"", true},     {"yes", true}, {"no", false}, {"No", false},
                        {"YES", false}, {"0", false},  {"off", false}};
  for (const Case& c : cases) EXPECT_EQ(disk_cache::parseSetting(c.value), c.on) << c.value;
}

}  // namespace
}  // namespace korvo
