#pragma once
// Brings a feed up to date when it is due: download, character-set step and
// parse, cleaned with the options of the meter that asked; then makes sure
// the feed holds its document cleaned with those options. Outcomes are
// visible only in the feed (its state, fields, variants and errorText).
#include <functional>

#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "retrieval/http_fetcher.h"

namespace korvo {

// updateInterval is the asking meter's interval in seconds. Afterwards
// feed.cleanedChannel(options) is not null whenever the feed has data.
void refresh(Feed& feed, int updateInterval, const CleanupOptions& options);

// The download and parse of a due feed, whatever its time stamps say:
// what refresh does when the feed is due. The feed's state records the
// outcome. True when a body was parsed (well or not) and so replaced the
// channel, cleanup, document and variants; false when a failed download or
// a "not modified" left them as they were.
// facts, when given, receives what download() learnt of the answer.
// beforeParse, when given, is called once a body has come and before it is
// converted and parsed (work that the cancel hook does not reach).
bool fetchAndParse(Feed& feed, const CleanupOptions& options, DownloadFacts* facts = nullptr,
                   const std::function<void()>& beforeParse = nullptr);

// The kept document cleaned with options, made once per download.
void addVariant(Feed& feed, const CleanupOptions& options);

}  // namespace korvo
