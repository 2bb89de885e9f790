// A whole document through the text conversion seam (read in its charset,
// written in the target with stand-ins) next to a bare TinyXML parse of
// the same bytes: the counter "x_bare" is the conversion's processor time
// over the parse's. Russian news in UTF-8 or windows-1251, 1 MiB.
#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include <ctime>
#include <string>

#include "platform/text_conversion.h"
#include "text/target_code_page.h"

namespace {

// Words in UTF-8, with the quotes, dashes and signs of Russian news.
const char* const kWords[] = {
    "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",                          // Москва
    "\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8",                  // новости
    "\xC2\xAB\xD1\x80\xD1\x8B\xD0\xBD\xD0\xBA\xD0\xB8\xC2\xBB",                  // «рынки»
    "\xE2\x80\x94",                                                              // —
    "\xD0\xBF\xD1\x80\xD0\xB5\xD0\xB7\xD0\xB8\xD0\xB4\xD0\xB5\xD0\xBD\xD1\x82",  // президент
    "2024",
    "\xE2\x84\x96"
    "5",                                                             // №5
    "\xD1\x81\xD0\xBA\xD0\xB0\xD0\xB7\xD0\xB0\xD0\xBB\xE2\x80\xA6",  // сказал…
    "\xD1\x91\xD0\xB6",                                              // ёж
    "\xE2\x82\xAC"
    "10",  // €10
};

std::string utf8Document(std::size_t size) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\">\n<channel>\n";
  for (unsigned n = 0; text.size() < size; ++n) {
    text += "<item><title>";
    for (unsigned i = 0; i < 6; ++i) (text += kWords[(n * 7 + i * 3) % 10]) += ' ';
    text += "</title><description>";
    for (unsigned i = 0; i < 40; ++i) (text += kWords[(n * 5 + i * 7) % 10]) += ' ';
    text += "</description><link>http://news.example.ru/" + std::to_string(n) + "</link></item>\n";
  }
  return text + "</channel>\n</rss>\n";
}

double processorSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Arguments: the document's code page, the target's.
void BM_Convert(benchmark::State& state) {
  const auto sourceCp = static_cast<unsigned>(state.range(0));
  const auto targetCp = static_cast<unsigned>(state.range(1));
  std::string source = utf8Document(1 << 20);
  if (sourceCp != korvo::charset::kUtf8) {
    std::u32string text;
    korvo::charset::decode(korvo::charset::kUtf8, source, text);
    source = korvo::encodeForTarget(text, korvo::TargetCodePage{sourceCp, false});
  }
  const korvo::TargetCodePage target{targetCp, false};
  double convertSeconds = 0;
  double bareSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      const double start = processorSeconds();
      TiXmlDocument tree;
      tree.Parse(source.c_str(), nullptr, TIXML_ENCODING_LEGACY);
      benchmark::DoNotOptimize(tree.Error());
      bareSeconds += processorSeconds() - start;
    }
    state.ResumeTiming();
    const double start = processorSeconds();
    std::u32string text;
    korvo::charset::decode(sourceCp, source, text);
    std::string out = korvo::encodeForTarget(text, target);
    benchmark::DoNotOptimize(out.data());
    convertSeconds += processorSeconds() - start;
  }
  state.counters["x_bare"] = convertSeconds / bareSeconds;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(source.size()));
}

BENCHMARK(BM_Convert)
    ->Args({65001, 1251})
    ->Args({65001, 65001})
    ->Args({65001, 1252})
    ->Args({1251, 1251})
    ->Args({1251, 65001})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace
