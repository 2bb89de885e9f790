// The whole refresh of a 1 MiB feed over https:// from a loopback nginx
// with TLS (download through the platform's HTTP stack, gzip, character-set
// step, parse, cleanup) next to `curl -s --compressed -o /dev/null` of the
// same URL plus a bare TinyXML parse of the body. Runs itself inside the
// namespace of tests/support/tls-namespace, where the test CA is trusted.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tinyxml.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "retrieval/feed_refresh.h"
#include "support/generated_feed.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

bool curlToNull(const std::string& url) {
  const char* const argv[] = {"curl", "-s", "--compressed", "-o", "/dev/null", url.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
    return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_HttpsRefresh(benchmark::State& state) {
  const char* dir = std::getenv("KORVO_TLS_DIR");
  if (!dir) return state.SkipWithError("no TLS namespace (tests/support/tls-namespace)");
  const std::string tls = dir;
  korvo::test::NginxServer nginx(
      "127.0.0.20", 443,
      "  server {\n    listen 127.0.0.20:443 ssl;\n    root $www;\n"
      "    ssl_certificate " + tls + "good.pem;\n    ssl_certificate_key " + tls + "good.key;\n"
      "    gzip on;\n    gzip_types text/xml;\n  }\n");
  if (!nginx.available()) return state.SkipWithError(nginx.problem().c_str());
  const std::string body = korvo::bench::largeFeed(static_cast<std::size_t>(state.range(0)));
  nginx.put("feed.xml", body);
  const std::string url = "https://good.korvo.test/feed.xml";
  const korvo::CleanupOptions settings;

  double refreshSeconds = 0, curlSeconds = 0, parseSeconds = 0;
  auto reference = [&] {
    const auto start = Clock::now();
    const bool fetched = curlToNull(url);
    const auto fetchedAt = Clock::now();
    TiXmlDocument tree;
    tree.Parse(body.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    benchmark::DoNotOptimize(tree.Error());
    tree.Clear();
    curlSeconds += seconds(fetchedAt - start);
    parseSeconds += seconds(Clock::now() - fetchedAt);
    return fetched;
  };
  bool referenceFirst = false;
  for (auto _ : state) {
    if (referenceFirst && !reference()) return state.SkipWithError("curl failed");
    auto feed = std::make_unique<korvo::Feed>(url);
    const auto start = Clock::now();
    korvo::refresh(*feed, settings);
    const double took = seconds(Clock::now() - start);
    refreshSeconds += took;
    state.SetIterationTime(took);
    if (!feed->state.hasData) return state.SkipWithError(feed->errorText.c_str());
    feed.reset();
    if (!referenceFirst && !reference()) return state.SkipWithError("curl failed");
    referenceFirst = !referenceFirst;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["ms"] = refreshSeconds / n * 1e3;
  state.counters["curl_ms"] = curlSeconds / n * 1e3;
  state.counters["parse_ms"] = parseSeconds / n * 1e3;
  state.counters["ref_ms"] = (curlSeconds + parseSeconds) / n * 1e3;
  state.counters["x_ref"] = refreshSeconds / (curlSeconds + parseSeconds);
}
BENCHMARK(BM_HttpsRefresh)->Arg(1 << 20)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("KORVO_TLS_DIR") && !std::getenv("KORVO_TLS_PROBLEM")) {
    korvo::test::TempDir dir;
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) > 0) {
      std::vector<char*> args{const_cast<char*>(KORVO_TLS_NAMESPACE_SCRIPT),
                              const_cast<char*>(dir.path().c_str()), self};
      for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
      args.push_back(nullptr);
      const pid_t child = fork();
      if (child == 0) {
        execv(args[0], args.data());
        _exit(126);
      }
      int status = 0;
      if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
          WEXITSTATUS(status) != 77 && WEXITSTATUS(status) != 126)
        return WEXITSTATUS(status);
    }
    setenv("KORVO_TLS_PROBLEM", "no namespace", 1);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
