#include "retrieval/feed_refresh.h"

#include <string>

#include "feed/feed_parser.h"
#include "retrieval/http_fetcher.h"

namespace korvo {

void refresh(Feed& feed, const MeterSettings& settings) {
  RefreshState& state = feed.state;
  const Clock& clock = *feed.env().clock;
  state.setNotModified(false);
  if (state.isDue(settings.UpdateIntervall, clock.now())) {
    std::string body;
    if (!download(feed, body)) {
      state.setErrorPending(true);
      state.stampError(clock.now());
    } else if (state.notModified) {
      // "Not modified" restarts the interval; otherwise every later query
      // would ask the server again.
      state.stampUpdate(clock.now());
    } else if (convertAndParse(feed, body, settings)) {
      state.stampUpdate(clock.now());
      state.setHasData(true);
    } else {
      state.setErrorPending(true);
      state.stampError(clock.now());
    }
  }
  state.setFirstRun(false);
}

}  // namespace korvo
