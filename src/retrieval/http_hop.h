#pragma once
// One request and its answer, without following redirects: over our own
// TCP connection for http://, through the platform's HTTPS service for
// https://. The caller decides what the answer means.
#include <atomic>
#include <chrono>
#include <string>

#include "base/limits.h"
#include "base/version.h"
#include "retrieval/http_answer.h"
#include "retrieval/url.h"

namespace korvo {

struct HopRequest {
  const FeedAddress* address;
  std::string url;           // the address as written, for Referer
  std::string lastModified;  // validators to send; empty: not sent
  std::string etag;
  const DownloadLimits* bounds;
  std::chrono::steady_clock::time_point deadline;  // of the whole download
  const std::atomic<bool>* cancel = nullptr;       // when set to true, the hop ends soon
};

struct HopAnswer {
  const char* error = nullptr;                        // the message of a failure, else null
  // The answer: status line, header lines, blank line, body; the body may
  // be set apart in body, and answer then ends with the blank line.
  std::string answer;
  std::string body;
  std::string detail;                                 // the secure stack's own words on a failure
  AnswerContext::Cut cut = AnswerContext::Cut::None;  // how a plain receive loop ended
};

// http://: "Unable to connect", "Response too large.", "Download took too
// long.", "Download cancelled." (within kCancelCheckMs of the cancel, once
// connected); the answer is whatever the server sent before it closed, reset
// or stalled (cut says which).
HopAnswer plainHop(const HopRequest& request);

// https://: the answer is rebuilt as "HTTP/1.1 NNN" + the final answer's
// header lines + body, whatever HTTP version carried it; failures carry the
// secure path's messages, and a server that sends no byte for the receive
// time-out after the handshake fails with "Server stopped sending data."
// as on the plain path.
HopAnswer secureHop(const HopRequest& request);

inline constexpr const char* kUserAgent = "Korvo/" KORVO_VERSION;

}  // namespace korvo
