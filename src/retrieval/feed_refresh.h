#pragma once
// Brings a feed up to date when it is due: download, character-set step and
// parse, cleaned with the options of the meter that asked; then makes sure
// the feed holds its document cleaned with those options. Outcomes are
// visible only in the feed (its state, fields, variants and errorText).
#include "feed/cleanup_options.h"
#include "feed/feed.h"

namespace korvo {

// updateInterval is the asking meter's interval in seconds. Afterwards
// feed.cleanedChannel(options) is not null whenever the feed has data.
void refresh(Feed& feed, int updateInterval, const CleanupOptions& options);

}  // namespace korvo
