#pragma once
// The HTTP client: a Feed's download. One GET per hop, conditional once the
// Feed holds parsed data: HTTP/1.0 over a new connection for http://
// addresses (the whole answer read until the server closes), the platform's
// HTTPS service for https:// ones. Redirects are followed here, by one set
// of rules for both.
#include <string>
#include <vector>

#include "feed/feed.h"

namespace korvo {

// What a download saw, for diagnostics (korvo-host --fetch).
struct DownloadTrace {
  struct Hop {
    std::string url;
    std::string head;  // status line and header lines; empty when the hop failed
  };
  std::vector<Hop> hops;
  std::string detail;  // the secure stack's own words on a failure
};

// What a download learnt about the answer it ended with.
struct DownloadFacts {
  std::string finalUrl;  // the address of the last hop, after redirects
  std::string charset;   // of that answer's Content-Type; empty when none
  std::string language;  // the first tag of its Content-Language; empty when none
};

// True with out holding the body of a complete "200 OK" document (the
// Feed's validators and dialect flags updated), or true with
// feed.state.notModified set and out empty on a 304 to a request that
// carried a validator (examineAnswer has the rules). False on any failure,
// recorded with feed.setError; out is then empty. The bounds of
// feed.env().limits apply to the whole download, every hop included:
// connect, handshake and receive time-outs, the size of the answer, the
// whole time. Redirects (301, 302, 303, 307, 308 with a Location) are
// followed up to limits::kMaxRedirects hops, never from https:// to
// http://; a permanent one is remembered in feed.env().moved and logged
// once. trace, when given, receives each hop; facts, when given, what the
// last answer said of itself.
bool download(Feed& feed, std::string& out, DownloadTrace* trace = nullptr,
              DownloadFacts* facts = nullptr);

}  // namespace korvo
