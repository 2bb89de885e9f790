// The whole step a refresh runs on a downloaded document (character set,
// pre-scan, parse, cleanup of every stored text) next to a bare TinyXML
// parse of the same bytes (in the mode the step parses in). Each iteration runs both; the counter
// "x_bare" is the step's processor time over the bare parse's, which
// other programs on the machine disturb less than the time on the clock.
#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include <ctime>
#include <string>

#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "feed/feed_parser.h"

namespace {

enum Dialect { kRss, kRdf, kAtom };
enum Variant { kAscii, kLatin1, kUtf8, kCyrillic };

const char* const kDialectNames[] = {"rss20", "rss10", "atom"};
const char* const kVariantNames[] = {"ascii", "latin1", "utf8", "cyrillic"};

// Words of item texts in each variant: the ASCII one writes accents as
// references, Latin-1 as single bytes, UTF-8 as sequences, with quotes,
// dashes and signs outside Latin-1 that need a stand-in.
const char* const kWords[4][12] = {
    {"caf&#233;", "r&#233;sum&#233;", "it&#8217;s", "2&#8211;3", "&#8364;5", "na&#239;ve",
     "minister", "said", "markets", "&amp;amp;", "fell", "spring"},
    {"caf\xE9", "r\xE9sum\xE9", "it's", "2-3", "\xA3" "5", "na\xEFve", "minister", "said",
     "markets", "&amp;amp;", "fell", "spring"},
    {"caf\xC3\xA9", "r\xC3\xA9sum\xC3\xA9", "it\xE2\x80\x99s", "2\xE2\x80\x93" "3",
     "\xE2\x82\xAC" "5", "na\xC3\xAFve", "minister\xE2\x80\xA6", "said", "markets", "&amp;amp;",
     "fell", "spring\xE2\x84\xA2"},
    // Russian news in UTF-8: Москва новости «рынки» — президент 2024 №5
    // сказал… ёж €10 &amp;amp; заявил
    {"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
     "\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8",
     "\xC2\xAB\xD1\x80\xD1\x8B\xD0\xBD\xD0\xBA\xD0\xB8\xC2\xBB", "\xE2\x80\x94",
     "\xD0\xBF\xD1\x80\xD0\xB5\xD0\xB7\xD0\xB8\xD0\xB4\xD0\xB5\xD0\xBD\xD1\x82", "2024",
     "\xE2\x84\x96" "5", "\xD1\x81\xD0\xBA\xD0\xB0\xD0\xB7\xD0\xB0\xD0\xBB\xE2\x80\xA6",
     "\xD1\x91\xD0\xB6", "\xE2\x82\xAC" "10", "&amp;amp;",
     "\xD0\xB7\xD0\xB0\xD1\x8F\xD0\xB2\xD0\xB8\xD0\xBB"},
};

std::string words(Variant variant, unsigned seed, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i) text += ' ';
    text += kWords[variant][(seed * 7 + static_cast<unsigned>(i) * 5) % 12];
  }
  return text;
}

// Escaped HTML as feeds carry it in descriptions.
std::string description(Variant variant, unsigned n) {
  return "&lt;p&gt;" + words(variant, n, 12) + " &lt;a href=&quot;http://example.com/a?id=" +
         std::to_string(n) + "&amp;amp;ref=rss&quot;&gt;" + words(variant, n + 1, 4) +
         "&lt;/a&gt;&lt;br /&gt;" + words(variant, n + 2, 20) +
         "&lt;/p&gt;&lt;img src=&quot;http://example.com/i/" + std::to_string(n) +
         ".jpg&quot; /&gt;";
}

std::string item(Dialect dialect, Variant variant, unsigned n) {
  const std::string link = "http://news.example.com/story/" + std::to_string(n);
  const std::string title = words(variant, n, 6);
  switch (dialect) {
    case kRss:
      return "  <item>\n    <title>" + title + "</title>\n    <link>" + link +
             "</link>\n    <description>" + description(variant, n) +
             "</description>\n    <pubDate>Tue, 07 May 2024 09:00:00 GMT</pubDate>\n"
             "    <guid isPermaLink=\"true\">" + link + "</guid>\n"
             "    <category>World</category>\n  </item>\n";
    case kRdf:
      return "<item rdf:about=\"" + link + "\">\n  <title>" + title + "</title>\n  <link>" +
             link + "</link>\n  <description>" + description(variant, n) +
             "</description>\n  <dc:date>2024-05-07T09:00:00Z</dc:date>\n</item>\n";
    case kAtom:
      return "  <entry>\n    <title type=\"html\">" + title + "</title>\n    <link rel=\"alternate\" "
             "href=\"" + link + "\"/>\n    <id>" + link + "</id>\n    <summary type=\"html\">" +
             description(variant, n) +
             "</summary>\n    <published>2024-05-07T09:00:00Z</published>\n"
             "    <updated>2024-05-07T10:00:00Z</updated>\n  </entry>\n";
  }
  return "";
}

std::string document(Dialect dialect, Variant variant, std::size_t size) {
  std::string text = "<?xml version=\"1.0\" encoding=\"";
  text += variant == kLatin1 ? "ISO-8859-1" : "UTF-8";
  text += "\"?>\n";
  const std::string title = words(variant, 1, 3);
  std::string end;
  switch (dialect) {
    case kRss:
      text += "<rss version=\"2.0\">\n<channel>\n<title>" + title +
              "</title>\n<link>http://news.example.com/</link>\n<description>" +
              words(variant, 2, 8) + "</description>\n<language>en</language>\n";
      end = "</channel>\n</rss>\n";
      break;
    case kRdf:
      text += "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
              "xmlns=\"http://purl.org/rss/1.0/\">\n<channel rdf:about=\"http://news.example.com/\">"
              "\n<title>" + title + "</title>\n<link>http://news.example.com/</link>\n"
              "<description>" + words(variant, 2, 8) + "</description>\n</channel>\n";
      end = "</rdf:RDF>\n";
      break;
    case kAtom:
      text += "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n<title>" + title +
              "</title>\n<subtitle>" + words(variant, 2, 8) +
              "</subtitle>\n<link rel=\"self\" href=\"http://news.example.com/atom.xml\"/>\n"
              "<updated>2024-05-07T10:00:00Z</updated>\n";
      end = "</feed>\n";
      break;
  }
  for (unsigned n = 0; text.size() + end.size() < size; ++n) text += item(dialect, variant, n);
  return text + end;
}

double processorSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

void BM_Step(benchmark::State& state) {
  const auto dialect = static_cast<Dialect>(state.range(0));
  const auto variant = static_cast<Variant>(state.range(1));
  const std::string source = document(dialect, variant, static_cast<std::size_t>(state.range(2)));
  korvo::CleanupOptions settings;
  // The code page the texts are written in: 0 latin1 mode, else its number.
  const auto target = static_cast<unsigned>(state.range(3));
  if (target != 0) settings.target = korvo::TargetCodePage{target, false};
  korvo::Feed feed("http://news.example.com/");
  feed.isRdf = dialect == kRdf;
  feed.isAtom = dialect == kAtom;
  double stepSeconds = 0;
  double bareSeconds = 0;
  std::size_t items = 0;
  auto bareParse = [&] {
    const double start = processorSeconds();
    TiXmlDocument tree;
    // The parse the step makes: single-byte in latin1 mode, else UTF-8
    // (TinyXML's own choice for a document that declares UTF-8).
    tree.Parse(source.c_str(), nullptr, target == 0 ? TIXML_ENCODING_LEGACY : TIXML_ENCODING_UTF8);
    benchmark::DoNotOptimize(tree.Error());
    tree.Clear();
    bareSeconds += processorSeconds() - start;
  };
  bool bareFirst = true;
  for (auto _ : state) {
    state.PauseTiming();
    // Which of the two runs first changes how the heap looks to it.
    if (bareFirst) bareParse();
    std::string body = source;
    state.ResumeTiming();
    const double start = processorSeconds();
    const bool ok = korvo::convertAndParse(feed, body, settings);
    stepSeconds += processorSeconds() - start;
    state.PauseTiming();
    if (!bareFirst) bareParse();
    bareFirst = !bareFirst;
    state.ResumeTiming();
    if (!ok) state.SkipWithError(feed.errorText.c_str());
    items = feed.channel.items.size();
  }
  state.counters["x_bare"] = stepSeconds / bareSeconds;
  state.counters["items"] = static_cast<double>(items);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(source.size()));
  state.SetLabel(std::string(kDialectNames[dialect]) + "/" + kVariantNames[variant] + "/" +
                 (target == 0 ? std::string("latin1 mode") : "cp" + std::to_string(target)));
}

void stepArguments(benchmark::internal::Benchmark* b) {
  for (long size : {100L << 10, 1L << 20, 10L << 20})
    for (int variant : {kAscii, kLatin1, kUtf8})
      for (int dialect : {kRss, kRdf, kAtom}) b->Args({dialect, variant, size, 0});
  // Another script in the code pages that show it, and in UTF-8.
  for (int target : {0, 1251, 65001}) b->Args({kRss, kCyrillic, 1L << 20, target});
  b->Args({kRss, kUtf8, 1L << 20, 1252});
}

BENCHMARK(BM_Step)->Apply(stepArguments)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace
