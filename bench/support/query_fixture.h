#pragma once
// The built plug-in loaded as a host loads it, from a temporary directory
// with its own "Korvo.ini" and host INI file, holding `meters` meters on
// `feeds` feeds of `items` items each. Meter i reads feed i % feeds. Every
// feed is downloaded once from a loopback server on port 80 of `address`
// while the fixture is made; after that no feed is due for a long time, so
// every query is answered from the cache. Needs root for port 80.
#include <memory>
#include <string>
#include <vector>

#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo::bench {

class QueryFixture {
 public:
  QueryFixture(int meters, int feeds, int items, const std::string& address);
  ~QueryFixture();

  // Empty when the fixture is ready; otherwise what went wrong.
  const std::string& error() const { return error_; }
  const test::PluginExports& api() const { return **plugin_; }

  int meters() const { return static_cast<int>(ids_.size()); }
  int feeds() const { return static_cast<int>(titles_.size()); }
  int items() const { return items_; }
  int meterId(int meter) const { return ids_[static_cast<std::size_t>(meter)]; }
  int feedOf(int meter) const { return meter % feeds(); }
  const std::string& channelTitle(int feed) const { return channelTitles_[static_cast<std::size_t>(feed)]; }
  const std::string& itemTitle(int feed, int item) const {
    return titles_[static_cast<std::size_t>(feed)][static_cast<std::size_t>(item)];
  }

 private:
  int items_;
  std::string error_;
  test::TempDir dir_;
  std::unique_ptr<test::PluginLibrary> plugin_;
  std::vector<int> ids_;
  std::vector<std::string> channelTitles_;
  std::vector<std::vector<std::string>> titles_;
};

}  // namespace korvo::bench
