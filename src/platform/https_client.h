#pragma once
// HTTPS service: one bounded GET of one https:// address through the
// system's own HTTP stack (libcurl on Linux, WinHTTP on Windows). The
// certificate is always verified against the system's trust store and its
// name checked, TLS 1.2 at least; redirects are not followed (the caller
// does that); gzip and deflate bodies are asked for and decompressed.
// Every failure is a return value; nothing is logged. Safe to call from
// any thread; one call uses no state shared with another.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace korvo {

struct HttpsRequest {
  std::string url;                   // "https://..."
  std::string userAgent;
  std::vector<std::string> headers;  // extra request lines, "Name: value"
  int connectTimeoutMs = 0;          // to the end of the TCP connect
  int handshakeTimeoutMs = 0;        // from there to the end of the TLS handshake
  int receiveTimeoutMs = 0;          // after the handshake, the longest wait for a byte (0: none)
  std::chrono::steady_clock::time_point deadline;  // the end of the whole call
  std::size_t maxBodyBytes = 0;      // after decompression
  const std::atomic<bool>* cancel = nullptr;  // when set to true, the call ends soon
};

enum class HttpsFailure {
  None,
  HostNotFound,
  ConnectFailed,
  HandshakeTimedOut,
  HandshakeFailed,
  CertificateUntrusted,
  CertificateNameMismatch,
  CertificateExpired,
  TooLarge,
  TooLong,
  Stalled,  // no byte for the receive time-out
  Cancelled,
  TransferFailed,
};

struct HttpsAnswer {
  HttpsFailure failure = HttpsFailure::None;
  int status = 0;           // the answer's status code
  std::string reason;       // its reason phrase, when the HTTP version has one
  std::string headers;      // its header lines after the status line, each ending in CR LF
  std::string body;         // decompressed
  std::string detail;       // the stack's own words on a failure, for diagnostics
};

// Sets up the HTTPS stack for the process; called once, before any thread
// of the plug-in runs. Later calls do nothing.
void httpsStartup();

HttpsAnswer httpsGet(const HttpsRequest& request);

}  // namespace korvo
