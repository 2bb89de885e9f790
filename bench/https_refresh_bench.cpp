// The whole refresh of a 1 MiB feed over https:// from a loopback nginx
// with TLS (download through the platform's HTTP stack, gzip, character-set
// step, parse, cleanup) next to `curl -s --compressed -o /dev/null` of the
// same URL plus a bare TinyXML parse of the body. Runs itself inside the
// namespace of tests/support/tls-namespace, where the test CA is trusted.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/generated_feed.h"
#include "support/nginx_server.h"
#include "support/refresh_beside_curl.h"
#include "support/temp_dir.h"

namespace {

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
  korvo::bench::refreshBesideCurl(state, "https://good.korvo.test/feed.xml", body, true);
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
