// Cost per byte of the text cleanup on generated feed HTML, at sizes far
// apart, next to the literal erase-and-insert version of the same steps.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "support/text_oracle.h"
#include "text/text_cleaner.h"

namespace {

// Description HTML as feeds carry it: paragraphs, links with query strings,
// images, breaks, named and numeric references, now and then a bare "&".
// Without mark-up: the same words, with neither "<" nor "&".
std::string feedHtml(std::size_t size, bool withMarkup = true) {
  static const char* const kWords[] = {
      "the",
      "minister",
      "said",
      "on",
      "Tuesday",
      "that",
      "new",
      "rules",
      "would",
      "apply",
      "from",
      "spring",
      "caf&eacute;",
      "r&eacute;sum&eacute;",
      "2024",
      "markets",
      "fell",
      "by",
      "3%",
      "while",
      "analysts",
      "R&amp;D",
      "AT&T",
      "it&#8217;s",
      "&quot;quoted&quot;",
      "&lt;tag&gt;",
      "&#39;",
      "&nbsp;&mdash;",
      "&hellip;",
      "x &lt; y",
      "Q&amp;A",
      "&#233;t&#233;",
      "&trade;",
      "&euro;5",
      "&amp;amp;",
  };
  static const char* const kPlainWords[] = {"the", "minister", "said", "on", "Tuesday", "that",
                                            "new", "rules", "caf\xE9", "2024", "3%", "markets"};
  static const char* const kMarkup[] = {
      "<p>",
      "</p>",
      "<br>",
      "<br />",
      "<strong>",
      "</strong>",
      "<em>",
      "</em>",
      "<a href=\"https://news.example.com/2024/05/17/story?id=4711&amp;ref=rss\">",
      "</a>",
      "<img src=\"https://img.example.com/photo.jpg\" alt=\"\" width=\"300\" />",
      "<!-- more -->",
      "<div class=\"summary\">",
      "</div>",
  };
  std::mt19937 random(20240517u);
  std::uniform_int_distribution<std::size_t> word(0, std::size(kWords) - 1);
  std::uniform_int_distribution<std::size_t> markup(0, std::size(kMarkup) - 1);
  std::uniform_int_distribution<int> percent(0, 99);
  std::string text;
  text.reserve(size + 256);
  std::uniform_int_distribution<std::size_t> plainWord(0, std::size(kPlainWords) - 1);
  while (text.size() < size) {
    if (!withMarkup) {
      text += kPlainWords[plainWord(random)];
      text += percent(random) < 10 ? ". " : " ";
    } else if (percent(random) < 15) {
      text += kMarkup[markup(random)];
    } else {
      text += kWords[word(random)];
      text += percent(random) < 10 ? ". " : " ";
    }
  }
  text.resize(size);
  return text;
}

template <void (*Clean)(std::string&), bool Markup = true>
void cleanup(benchmark::State& state) {
  const std::string source = feedHtml(static_cast<std::size_t>(state.range(0)), Markup);
  for (auto _ : state) {
    std::string text = source;
    Clean(text);
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void copyOnly(std::string&) {}

void filterOnly(std::string& text) { korvo::filterHtml(text); }

void bothInParserOrder(std::string& text) {
  korvo::replaceBr(text);
  korvo::filterHtml(text, korvo::TagBreak::LineFeed);
}

void literalFilter(std::string& text) { korvo::test::literalFilterHtml(text); }

constexpr std::int64_t kSmall = 64 << 10;
constexpr std::int64_t kLarge = 8 << 20;

// Every timed loop copies the source text first; this is that copy alone.
BENCHMARK_TEMPLATE(cleanup, copyOnly)->Name("CopyOnly")->RangeMultiplier(16)->Range(kSmall, kLarge);
BENCHMARK_TEMPLATE(cleanup, korvo::replaceBr)
    ->Name("replaceBr")
    ->RangeMultiplier(16)
    ->Range(kSmall, kLarge);
BENCHMARK_TEMPLATE(cleanup, filterOnly)
    ->Name("filterHtml")
    ->RangeMultiplier(16)
    ->Range(kSmall, kLarge);
BENCHMARK_TEMPLATE(cleanup, bothInParserOrder)
    ->Name("replaceBr+filterHtml")
    ->RangeMultiplier(16)
    ->Range(kSmall, kLarge);
BENCHMARK_TEMPLATE(cleanup, korvo::test::literalReplaceBr)->Name("literalReplaceBr")->Arg(kSmall);
BENCHMARK_TEMPLATE(cleanup, literalFilter)->Name("literalFilterHtml")->Arg(kSmall);
// Text without mark-up: the scan should run at the speed of memchr.
BENCHMARK_TEMPLATE(cleanup, copyOnly, false)->Name("plain/CopyOnly")->Arg(kLarge);
BENCHMARK_TEMPLATE(cleanup, korvo::replaceBr, false)->Name("plain/replaceBr")->Arg(kLarge);
BENCHMARK_TEMPLATE(cleanup, filterOnly, false)->Name("plain/filterHtml")->Arg(kLarge);

}  // namespace
