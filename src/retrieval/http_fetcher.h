#pragma once
// The HTTP client: a Feed's download. One HTTP/1.0 GET over a new
// connection to port 80 of the feed URL's host, conditional once the Feed
// holds parsed data; the whole answer is read until the server closes.
#include <string>

#include "feed/feed.h"

namespace korvo {

// True with out holding the body of a complete "200 OK" document (the
// Feed's validators and dialect flags updated), or true with
// feed.state.notModified set and out empty on a 304 to a request that
// carried a validator (examineAnswer has the rules). False on any failure,
// recorded with feed.setError; out is then empty. The bounds of feed.env().limits apply:
// connect and receive time-outs, the size of the answer, the whole time.
bool download(Feed& feed, std::string& out);

}  // namespace korvo
