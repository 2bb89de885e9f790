// The title list of a 1,000-item feed answered from the cache, through the
// exports of the built plug-in: a meter with Include and Exclude, one with
// Order=newest and one with both, each timed beside a meter of the same
// feed that shows every item in the feed's order (x_ref: theirs over it).
// The filters keep every item and the dates are shuffled, so each list
// holds all 1,000 titles and the newest-first one is wholly reordered.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "support/counting_allocator.h"
#include "support/generated_feed.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/side_by_side.h"
#include "support/temp_dir.h"

namespace {

using korvo::test::PluginLibrary;

constexpr const char* kAddress = "127.0.0.12";
constexpr int kItems = 1000;
const char* const kTopics[] = {"markets", "sport", "weather", "politics"};

std::string document() {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
      "<title>Channel</title><link>http://news.example.com/</link>";
  for (int n = 0; n < kItems; ++n) {
    // A different day and minute for each item, in no order.
    const int shuffled = (n * 7919) % kItems;
    char date[64];
    std::snprintf(date, sizeof date, "%02d %s 2024 %02d:%02d:00 GMT", 1 + shuffled % 28,
                  kMonths[shuffled / 28 % 12], shuffled / 60 % 24, shuffled % 60);
    doc += "<item><title>Story " + std::to_string(n) + " " + kTopics[n % 4] +
           "</title><link>http://news.example.com/story/" + std::to_string(n) +
           "</link><description>Short text of story " + std::to_string(n) +
           ".</description><pubDate>" + date + "</pubDate></item>";
  }
  return doc + "</channel></rss>\n";
}

// The plug-in with one feed and four meters on it: [Plain], [Filtered],
// [Newest] and [Both].
class Fixture {
 public:
  Fixture() {
    if (!korvo::test::mayBindPort80()) {
      error_ = korvo::test::kPort80SkipMessage;
      return;
    }
    korvo::test::writeWholeFile(dir_.file("Korvo.ini"),
                                std::string("[Settings]\nShowError=no\nDoLog=no\nWaitForDownload=-1\n"
                                            "[NewsSites]\nNews=http://") +
                                    kAddress + "/feed.xml\n");
    const std::string common = "NewsSite=News\nUpdateIntervall=1000000000\n";
    const std::string filters = "Include=story | report\nExclude=zebra | unicorn | breaking news\n";
    korvo::test::writeWholeFile(dir_.file("host.ini"),
                                "[Plain]\n" + common + "[Filtered]\n" + common + filters +
                                    "[Newest]\n" + common + "Order=newest\n[Both]\n" + common +
                                    filters + "Order=newest\n");
    korvo::test::LoopbackServer server(
        kAddress, korvo::test::Script().send(korvo::bench::okAnswer(document())));
    if (!server.ok()) {
      error_ = server.error();
      return;
    }
    plugin_ = std::make_unique<PluginLibrary>(dir_.path());
    if (!plugin_->loaded()) {
      error_ = plugin_->error();
      return;
    }
    for (const char* section : {"Plain", "Filtered", "Newest", "Both"}) {
      const int id = (*plugin_)->dllstartup(0, 0);
      (*plugin_)->src_load_settings(id, dir_.file("host.ini").c_str(), section);
      ids_.push_back(id);
    }
    if (std::strcmp((*plugin_)->GetTitle(ids_[0]), "Channel") != 0) error_ = "no feed shown";
  }
  ~Fixture() {
    if (plugin_ && plugin_->loaded())
      for (int id : ids_) (*plugin_)->dllshutdown(id);
  }
  const std::string& error() const { return error_; }
  const korvo::test::PluginExports& api() const { return **plugin_; }
  int meter(int which) const { return ids_[static_cast<std::size_t>(which)]; }

 private:
  std::string error_;
  korvo::test::TempDir dir_;
  std::unique_ptr<PluginLibrary> plugin_;
  std::vector<int> ids_;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// range(0): 1 Include and Exclude, 2 Order=newest, 3 both.
void BM_ItemViewTitleList(benchmark::State& state) {
  korvo::bench::countThisThread();
  const Fixture& f = fixture();
  if (!f.error().empty()) return state.SkipWithError(f.error().c_str());
  const int which = static_cast<int>(state.range(0));
  const int plain = f.meter(0), shown = f.meter(which);
  const auto getTitleOfItems = f.api().GetTitleOfItems;
  const std::string count = std::to_string(kItems);
  const std::string all = getTitleOfItems(plain, count.c_str());
  const std::string viewed = getTitleOfItems(shown, count.c_str());
  if (viewed.size() != all.size()) return state.SkipWithError("the view left items out");
  if (which >= 2 && viewed == all) return state.SkipWithError("newest first is the feed's order");

  korvo::bench::sideBySide(
      state, 10, [&] { benchmark::DoNotOptimize(getTitleOfItems(shown, count.c_str())); },
      [&] { benchmark::DoNotOptimize(getTitleOfItems(plain, count.c_str())); });
  static const char* const kLabels[] = {"", "Include+Exclude", "Order=newest",
                                        "Include+Exclude, Order=newest"};
  state.SetLabel(std::string(kLabels[which]) + " vs. unfiltered, 1000 items");
}
BENCHMARK(BM_ItemViewTitleList)->Arg(1)->Arg(2)->Arg(3)->MinTime(2.0);

}  // namespace
