#include "meters/meter_registry.h"

namespace korvo {

Meter& MeterRegistry::getMeter(int id) {
  auto it = meters_.find(id);
  if (it == meters_.end()) it = meters_.emplace(id, Meter(nextMeterId_++)).first;
  return it->second;
}

int MeterRegistry::createMeter() {
  Meter meter(nextMeterId_++);
  int id = meter.serial();
  meters_.emplace(id, std::move(meter));
  return id;
}

void MeterRegistry::pasteSettings(int source, int destination) {
  MeterSettings copy = getMeter(source).settings;
  getMeter(destination).settings = std::move(copy);
}

Meter* MeterRegistry::find(int id) {
  auto it = meters_.find(id);
  return it == meters_.end() ? nullptr : &it->second;
}

}  // namespace korvo
