#pragma once
// Brings a feed up to date when it is due: download, character-set step and
// parse, with the settings of the meter that asked. Outcomes are visible
// only in the feed (its state, fields and errorText).
#include "base/meter_settings.h"
#include "feed/feed.h"

namespace korvo {

void refresh(Feed& feed, const MeterSettings& settings);

}  // namespace korvo
