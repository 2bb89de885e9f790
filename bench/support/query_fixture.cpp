#include "support/query_fixture.h"

#include <chrono>
#include <thread>

#include "support/generated_feed.h"
#include "support/loopback_server.h"

namespace korvo::bench {

// Long enough that no feed falls due while a benchmark runs.
constexpr const char* kNeverDue = "1000000000";

QueryFixture::QueryFixture(int meters, int feeds, int items, const std::string& address)
    : items_(items) {
  if (!test::mayBindPort80()) {
    error_ = test::kPort80SkipMessage;
    return;
  }
  std::string globalIni = "[Settings]\nShowError=no\nDoLog=no\n[NewsSites]\n";
  std::string hostIni;
  std::vector<test::Script> scripts;
  for (int f = 0; f < feeds; ++f) {
    const std::string site = "Site" + std::to_string(f);
    globalIni += site + "=http://" + address + "/feed" + std::to_string(f) + ".xml\n";
    hostIni += "[F" + std::to_string(f) + "]\nNewsSite=" + site + "\nUpdateIntervall=" +
               kNeverDue + "\n";
    channelTitles_.push_back("Channel " + std::to_string(f));
    std::vector<std::string> titles;
    for (int i = 0; i < items; ++i)
      titles.push_back("Story " + std::to_string(i) + " from feed " + std::to_string(f));
    scripts.push_back(test::Script().send(okAnswer(rssDocument(channelTitles_.back(), titles))));
    titles_.push_back(std::move(titles));
  }
  test::writeWholeFile(dir_.file("Korvo.ini"), globalIni);
  test::writeWholeFile(dir_.file("host.ini"), hostIni);

  // Connection f serves feed f: the first query of meter f (f < feeds)
  // downloads it.
  test::LoopbackServer server(address, std::move(scripts));
  if (!server.ok()) {
    error_ = server.error();
    return;
  }
  plugin_ = std::make_unique<test::PluginLibrary>(dir_.path(), KORVO_PLUGIN_PATH);
  if (!plugin_->loaded()) {
    error_ = plugin_->error();
    return;
  }
  const std::string hostIniPath = dir_.file("host.ini");
  for (int m = 0; m < meters; ++m) {
    const int id = api().dllstartup(0, 0);
    const std::string section = "F" + std::to_string(m % feeds);
    api().src_load_settings(id, hostIniPath.c_str(), section.c_str());
    ids_.push_back(id);
  }
  // A download goes on on a worker once the query that started it has
  // waited WaitForDownload; on a slow machine (or under valgrind) the
  // title shows only later, from a query after the download.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (int m = 0; m < meters; ++m) {
    std::string title;
    while ((title = api().GetTitle(meterId(m))) != channelTitle(feedOf(m)) &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (title != channelTitle(feedOf(m))) {
      error_ = "meter " + std::to_string(m) + " shows \"" + title + "\", not \"" +
               channelTitle(feedOf(m)) + "\"";
      return;
    }
  }
  if (server.connections() != static_cast<std::size_t>(feeds))
    error_ = std::to_string(server.connections()) + " downloads for " + std::to_string(feeds) +
             " feeds";
}

QueryFixture::~QueryFixture() {
  if (plugin_ && plugin_->loaded())
    for (int id : ids_) api().dllshutdown(id);
}

}  // namespace korvo::bench
