#pragma once
// The host's meters by id, in ascending order, held by value. Each new
// default meter takes the next serial number, counted from 0 per load.
#include <map>

#include "meters/meter.h"

namespace korvo {

class MeterRegistry {
 public:
  // The meter stored under id; a new default meter is stored there first
  // when there is none.
  Meter& getMeter(int id);
  // Stores a new default meter under its own serial number and returns the
  // number. When that id is taken already, the stored meter stays.
  int createMeter();
  void removeMeter(int id) { meters_.erase(id); }
  // Copies the settings (not the feed URL) of one meter onto another.
  void pasteSettings(int source, int destination);
  Meter* find(int id);
  std::size_t size() const { return meters_.size(); }

 private:
  int nextMeterId_ = 0;
  std::map<int, Meter> meters_;
};

}  // namespace korvo
