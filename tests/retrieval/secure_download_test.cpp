// The secure path against a real nginx with TLS and certificates from a
// throw-away CA, inside the namespace tests/support/tls-namespace makes.
#include <zlib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "base/moved_feeds.h"
#include "retrieval/http_fetcher.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/nginx_server.h"
#include "support/plugin_library.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/tls_namespace.h"

namespace korvo {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using test::NginxServer;
using Ms = std::chrono::milliseconds;

const std::string kRss =
    "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Secure</title>"
    "<item><title>One</title></item></channel></rss>\n";

// /upstream/... is handed on to a plain server on the case's own address,
// which the test scripts (nginx passes its answer on as it comes).
std::string tlsServer(const std::string& listen, const std::string& cert) {
  const std::string dir = test::tlsDir();
  return "  server {\n    listen " + listen + " ssl;\n    root $www;\n"
         "    location /upstream/ {\n      proxy_pass http://" + test::caseAddress() + "/;\n"
         "      proxy_buffering off;\n      postpone_output 0;\n    }\n"
         "    ssl_certificate " + dir + cert + ".pem;\n"
         "    ssl_certificate_key " + dir + cert + ".key;\n"
         "    ssl_protocols TLSv1.2 TLSv1.3;\n"
         "    gzip on;\n    gzip_types text/xml;\n    gzip_min_length 0;\n    gzip_static on;\n"
         "    location = /down.xml { return 302 http://good.korvo.test/feed.xml; }\n"
         "    location = /rel.xml { absolute_redirect off; return 302 sub/feed.xml; }\n"
         "    location = /c0 { return 302 /c1; }\n    location = /c1 { return 302 /c2; }\n"
         "    location = /c2 { return 302 /c3; }\n    location = /c3 { return 302 /c4; }\n"
         "    location = /c4 { return 302 /c5; }\n    location = /c5 { return 302 /feed.xml; }\n"
         "  }\n";
}

std::string servers() {
  return tlsServer("127.0.0.20:443", "good") + tlsServer("127.0.0.20:8443", "good") +
         tlsServer("[::1]:443", "good") + tlsServer("127.0.0.21:443", "wrong") +
         tlsServer("127.0.0.22:443", "untrusted") + tlsServer("127.0.0.23:443", "expired") +
         "  server {\n    listen 127.0.0.20:80;\n    listen 127.0.0.20:8080;\n"
         "    listen [::1]:80;\n    root $www;\n"
         "    location = /moved.xml { return 301 https://good.korvo.test/feed.xml; }\n"
         "    location = /found.xml { return 302 https://good.korvo.test:8443/feed.xml; }\n"
         "  }\n";
}

// A gzip stream of 1 GiB of zeros in about 1 MiB: after a full flush every
// further MiB of zeros compresses to the same bytes.
std::string gzipBomb() {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
  const std::string zeros(1 << 20, '\0');
  auto chunk = [&] {
    std::string out(1 << 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FULL_FLUSH);
    out.resize(out.size() - z.avail_out);
    return out;
  };
  std::string bomb = chunk();
  const std::string same = chunk();
  deflateEnd(&z);
  for (int i = 1; i < 1024; ++i) bomb += same;
  uLong crc = crc32(0, nullptr, 0);
  const uLong one = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), 1 << 20);
  for (int i = 0; i < 1024; ++i) crc = crc32_combine(crc, one, 1 << 20);
  bomb += std::string("\x03\x00", 2);  // an empty last block
  for (int i = 0; i < 4; ++i) bomb += static_cast<char>((crc >> (8 * i)) & 0xff);
  bomb += std::string(4, '\0');  // 2^30 modulo 2^32
  return bomb;
}

class SecureDownloadTest : public ::testing::Test {
 protected:
  SecureDownloadTest() {
    logger.openLog(dir.path());
    logger.setEnabled(true);
    env.log = &logger;
    env.clock = &clock;
    env.moved = &moved;
  }

  void SetUp() override {
    KORVO_SKIP_WITHOUT_TLS_NAMESPACE();
    nginx = std::make_unique<NginxServer>("127.0.0.20", 443, servers());
    ASSERT_TRUE(nginx->available()) << nginx->problem();
    nginx->put("feed.xml", kRss);
    mkdir((nginx->www() + "sub").c_str(), 0755);
    test::writeWholeFile(nginx->www() + "sub/feed.xml", kRss);
  }

  bool fetch(const std::string& url) {
    feed = Feed(url, env);
    body = "left over";
    return download(feed, body, &trace);
  }

  void expectFailure(const std::string& message) {
    EXPECT_EQ(feed.errorText, message);
    EXPECT_TRUE(body.empty());
    EXPECT_THAT(test::readWholeFile(dir.file("Korvolog.txt")),
                HasSubstr(" --> Error: " + message + " (" + feed.url + ")\n"));
  }

  test::TempDir dir;
  ManualClock clock;
  Logger logger{clock};
  MovedFeeds moved;
  Environment env;
  std::unique_ptr<NginxServer> nginx;
  Feed feed{"", env};
  std::string body;
  DownloadTrace trace;
};

TEST_F(SecureDownloadTest, ATrustedServerGivesTheFeed) {
  for (const char* url : {"https://good.korvo.test/feed.xml", "https://good.korvo.test:8443/feed.xml",
                          "https://[::1]/feed.xml", "https://six.korvo.test/feed.xml"}) {
    SCOPED_TRACE(url);
    ASSERT_TRUE(fetch(url)) << feed.errorText << " " << trace.detail;
    EXPECT_EQ(body, kRss);
    EXPECT_FALSE(feed.etag.empty());
    EXPECT_FALSE(feed.lastModified.empty());
  }
}

// The plain path on the same server: a port and IPv6, by literal and by name.
TEST_F(SecureDownloadTest, PlainAddressesWithAPortOrIpv6) {
  for (const char* url : {"http://good.korvo.test:8080/feed.xml", "http://[::1]/feed.xml",
                          "http://six.korvo.test/feed.xml"}) {
    SCOPED_TRACE(url);
    ASSERT_TRUE(fetch(url)) << feed.errorText;
    EXPECT_EQ(body, kRss);
  }
}

TEST_F(SecureDownloadTest, EveryCertificateFaultIsRefusedWithItsMessage) {
  const struct {
    const char* url;
    const char* message;
  } cases[] = {
      {"https://untrusted.korvo.test/feed.xml", "Certificate not trusted."},
      {"https://wrong.korvo.test/feed.xml", "Certificate name mismatch."},
      {"https://expired.korvo.test/feed.xml", "Certificate expired."},
      {"https://127.0.0.21/feed.xml", "Certificate name mismatch."},
      {"https://nowhere.korvo.test/feed.xml", "Host name not found."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_FALSE(fetch(c.url));
    expectFailure(c.message);
  }
}

// The meter shows the plain path's message; the log names the status.
TEST_F(SecureDownloadTest, ARefusedStatusIsNamedInTheLog) {
  EXPECT_FALSE(fetch("https://good.korvo.test/missing.xml"));
  EXPECT_EQ(feed.errorText, "Error transfering data.");
  const std::string log = test::readWholeFile(dir.file("Korvolog.txt"));
  EXPECT_THAT(log, HasSubstr(" --> Error: Error transfering data. (HTTP 404"));
  EXPECT_THAT(log, HasSubstr(", https://good.korvo.test/missing.xml)\n"));
}

TEST_F(SecureDownloadTest, ValidatorsOverHttpsGiveNotModified) {
  ASSERT_TRUE(fetch("https://good.korvo.test/feed.xml"));
  const std::string etag = feed.etag;
  feed.state.setHasData(true);
  feed.state.setFirstRun(false);
  body = "left over";
  ASSERT_TRUE(download(feed, body)) << feed.errorText;
  EXPECT_TRUE(feed.state.notModified);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(feed.etag, etag);
}

TEST_F(SecureDownloadTest, RedirectsFollowOurRules) {
  // http -> 301 -> https, remembered.
  ASSERT_TRUE(fetch("http://good.korvo.test/moved.xml")) << feed.errorText;
  EXPECT_EQ(body, kRss);
  ASSERT_EQ(trace.hops.size(), 2u);
  EXPECT_EQ(trace.hops[1].url, "https://good.korvo.test/feed.xml");
  EXPECT_EQ(moved.resolve("http://good.korvo.test/moved.xml", 5), "https://good.korvo.test/feed.xml");

  // http -> 302 -> https with a port.
  ASSERT_TRUE(fetch("http://good.korvo.test/found.xml")) << feed.errorText;
  EXPECT_EQ(trace.hops.back().url, "https://good.korvo.test:8443/feed.xml");

  // A relative Location over https.
  trace = {};
  ASSERT_TRUE(fetch("https://good.korvo.test/rel.xml")) << feed.errorText;
  EXPECT_EQ(trace.hops.back().url, "https://good.korvo.test/sub/feed.xml");

  // Five hops are fine, six are too many.
  ASSERT_TRUE(fetch("https://good.korvo.test/c1")) << feed.errorText;
  EXPECT_FALSE(fetch("https://good.korvo.test/c0"));
  expectFailure("Too many redirects.");

  EXPECT_FALSE(fetch("https://good.korvo.test/down.xml"));
  expectFailure("Redirect to an insecure address refused.");
}

TEST_F(SecureDownloadTest, GzipIsUndoneAndABombStopsAtTheBound) {
  std::string big = "<rss version=\"2.0\"><channel><title>Z</title>";
  while (big.size() < 200000) big += "<item><title>Item</title></item>";
  big += "</channel></rss>\n";
  nginx->put("big.xml", big);
  ASSERT_TRUE(fetch("https://good.korvo.test/big.xml")) << feed.errorText;
  EXPECT_EQ(body, big);
  EXPECT_THAT(trace.hops.back().head, HasSubstr("Content-Encoding: gzip"));

  nginx->put("bomb.xml.gz", gzipBomb());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fetch("https://good.korvo.test/bomb.xml"));
  expectFailure("Response too large.");
  EXPECT_LT(std::chrono::steady_clock::now() - start, Ms(10000));
}

TEST_F(SecureDownloadTest, AHandshakeThatNeverEndsStopsAtItsBound) {
  KORVO_SKIP_WITHOUT_PORT_80();
  test::LoopbackServer silent("127.0.0.24", test::Script().stall());
  ASSERT_TRUE(silent.ok()) << silent.error();
  env.limits.connectTimeoutMs = 1000;
  env.limits.handshakeTimeoutMs = 500;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fetch("https://stall.korvo.test:80/feed.xml"));
  const auto took = std::chrono::steady_clock::now() - start;
  expectFailure("TLS handshake timed out.");
  EXPECT_GE(took, Ms(500));
  EXPECT_LT(took, Ms(3000));
}

// After the handshake no wait for the server's next byte lasts longer
// than the receive time-out, whether the head came or not; the whole
// download's bound is far off.
TEST_F(SecureDownloadTest, AServerThatStopsSendingIsLeftAfterTheReceiveTimeout) {
  KORVO_SKIP_WITHOUT_PORT_80();
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 100000\r\n\r\n";
  const struct {
    const char* name;
    test::Script script;
  } cases[] = {
      {"the head and a little of the body, then nothing",
       test::Script().send(head + "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel>").stall()},
      {"no answer at all", test::Script().stall()},
  };
  env.limits.receiveTimeoutMs = 500;
  env.limits.maxDownloadMs = 20000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::LoopbackServer upstream(test::caseAddress(), c.script);
    ASSERT_TRUE(upstream.ok()) << upstream.error();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetch("https://good.korvo.test/upstream/feed.xml"));
    const auto took = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start);
    expectFailure("Server stopped sending data.");
    EXPECT_GE(took.count(), 500);
    EXPECT_LT(took.count(), 10000) << "not the whole download's bound";
  }
}

TEST_F(SecureDownloadTest, APlainServerOnAnHttpsAddressFailsTheHandshake) {
  EXPECT_FALSE(fetch("https://good.korvo.test:80/feed.xml"));
  expectFailure("TLS handshake failed.");
}

TEST_F(SecureDownloadTest, KorvoHostFetchReportsEachHopOrTheError) {
  test::ProgramRun run;
  run.args = {KORVO_HOST_PATH, "--fetch", "http://good.korvo.test/moved.xml"};
  test::ProgramResult result = test::runProgram(run);
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_THAT(result.out, HasSubstr("hop 1: http://good.korvo.test/moved.xml\n"
                                    "  HTTP/1.1 301 Moved Permanently\n"
                                    "  Location: https://good.korvo.test/feed.xml\n"));
  EXPECT_THAT(result.out, HasSubstr("hop 2: https://good.korvo.test/feed.xml\n"
                                    "  HTTP/1.1 200 OK\n"));
  EXPECT_THAT(result.out, HasSubstr("  Content-Encoding: gzip\n  ETag: "));
  EXPECT_THAT(result.out, HasSubstr("dialect: RSS 0.9x/2.0"));
  EXPECT_THAT(result.out, HasSubstr("title: Secure\nitems: 1\n  1. One\n"));

  run.args = {KORVO_HOST_PATH, "--fetch", "https://untrusted.korvo.test/feed.xml"};
  result = test::runProgram(run);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.out, HasSubstr("hop 1: https://untrusted.korvo.test/feed.xml\n  (no answer)\n"
                                    "error: Certificate not trusted.\n  why: SSL certificate problem"));
}

// True once this process has a TCP connect to 127.0.0.27:80 under way
// (SYN sent, no answer yet).
bool ipv4ConnectPending() {
  std::ifstream table("/proc/self/net/tcp");
  std::string line;
  while (std::getline(table, line))
    if (line.find(" 1B00007F:0050 02 ") != std::string::npos) return true;
  return false;
}

// A name with an IPv6 and an IPv4 address: libcurl tries them side by
// side, opening a socket for the second family while the first still
// waits, and keeps whichever connects first. Here the IPv6 connect, tried
// first, wins after the IPv4 one has begun (the IPv4 server never answers);
// then the handshake stalls. The TCP connect must be seen on the winner,
// whatever socket curl opened last: the failure is the handshake's, within
// its bound, not a connect that never ended.
TEST(SecureConnectTest, TheConnectSeenIsTheOneCurlKeptWhenBothFamiliesAreTried) {
  KORVO_SKIP_WITHOUT_TLS_NAMESPACE();
  test::LoopbackServer ipv4 = test::LoopbackServer::unanswered("127.0.0.27");
  ASSERT_TRUE(ipv4.ok()) << ipv4.error();
  // [::1]:80 with its accept queue full: the first connect request is
  // dropped, and its repetition (a second later) is answered once the
  // queue has room again.
  sockaddr_in6 self{};
  self.sin6_family = AF_INET6;
  self.sin6_port = htons(80);
  self.sin6_addr = in6addr_loopback;
  const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&self), sizeof self), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  const int filler = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&self), sizeof self), 0);
  // Room for the IPv6 connect once the IPv4 one is under way.
  int accepted = -1;
  std::thread room([&] {
    for (auto until = std::chrono::steady_clock::now() + Ms(20000);
         !ipv4ConnectPending() && std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(Ms(5));  // a look at the connection table, not a guess
    accepted = ::accept(listener, nullptr, nullptr);
  });

  Environment env;
  env.limits.connectTimeoutMs = 5000;
  env.limits.handshakeTimeoutMs = 500;
  Feed feed("https://both.korvo.test:80/feed.xml", env);
  std::string body;
  DownloadTrace trace;
  EXPECT_FALSE(download(feed, body, &trace));
  room.join();
  EXPECT_EQ(feed.errorText, "TLS handshake timed out.") << trace.detail;
  for (int fd : {accepted, filler, listener})
    if (fd >= 0) ::close(fd);
}

std::size_t openDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

// The plug-in loaded and unloaded as a host does, a secure download in each
// load: nothing stays open or mapped (leaks are LeakSanitizer's part, in
// the sanitizer build).
TEST_F(SecureDownloadTest, AHundredLoadsEachWithASecureDownloadLeaveNothingBehind) {
  test::TempDir pluginDir;
  test::writeWholeFile(pluginDir.file("Korvo.ini"),
                       "[Settings]\nWaitForDownload=-1\nShowError=yes\nDoLog=no\n[NewsSites]\n"
                       "Secure=https://good.korvo.test/feed.xml\n");
  const std::string hostIni = pluginDir.file("host.ini");
  test::writeWholeFile(hostIni, "[Meter]\nNewsSite=Secure\n");
  std::size_t descriptors = 0;
  std::string path;
  for (int round = 0; round < 100; ++round) {
    test::PluginLibrary plugin(pluginDir.path());
    ASSERT_TRUE(plugin.loaded()) << plugin.error();
    const int id = plugin->dllstartup(0, 0);
    plugin->src_load_settings(id, hostIni.c_str(), "Meter");
    const char* title = plugin->GetTitle(id);
    ASSERT_NE(title, nullptr);
    ASSERT_STREQ(title, "Secure") << "round " << round;
    plugin->dllshutdown(id);
    path = plugin.path();
    plugin.unload();
    if (round == 0) descriptors = openDescriptors();
  }
  EXPECT_EQ(openDescriptors(), descriptors);
  EXPECT_FALSE(test::isMapped(path));
}

}  // namespace
}  // namespace korvo
