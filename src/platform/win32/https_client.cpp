#include "platform/https_client.h"

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <string>

namespace korvo {
namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Not every SDK names the TLS 1.3 flag.
constexpr DWORD kTls12 = 0x00000800;
constexpr DWORD kTls13 = 0x00002000;
constexpr DWORD kDecompressionAll = 0x3;        // WINHTTP_DECOMPRESSION_FLAG_ALL
constexpr DWORD kOptionDecompression = 118;     // WINHTTP_OPTION_DECOMPRESSION
constexpr DWORD kOptionReceiveResponseTimeout = 7;  // WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT
constexpr DWORD kReadChunk = 16384;

struct Handle {
  HINTERNET h = nullptr;
  explicit Handle(HINTERNET handle) : h(handle) {}
  ~Handle() {
    if (h) WinHttpCloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

// What the status callback saw; set on the calling thread (synchronous use).
struct Progress {
  bool connected = false;
  bool sent = false;
  DWORD secureFlags = 0;
};

void CALLBACK onStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  auto* p = reinterpret_cast<Progress*>(context);
  if (p == nullptr) return;
  if (status == WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER) p->connected = true;
  if (status == WINHTTP_CALLBACK_STATUS_REQUEST_SENT) p->sent = true;
  if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && info && length >= sizeof(DWORD))
    p->secureFlags |= *static_cast<DWORD*>(info);
}

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
  return out;
}

int msLeft(SteadyClock::time_point deadline) {
  const long long left =
      std::chrono::duration_cast<Milliseconds>(deadline - SteadyClock::now()).count();
  return static_cast<int>(std::max<long long>(0, std::min<long long>(left, 1 << 30)));
}

std::wstring queryText(HINTERNET request, DWORD what) {
  DWORD bytes = 0;
  WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes,
                      WINHTTP_NO_HEADER_INDEX);
  if (bytes == 0) return {};
  std::wstring out(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, &out[0], &bytes,
                           WINHTTP_NO_HEADER_INDEX))
    return {};
  out.resize(bytes / sizeof(wchar_t));
  return out;
}

HttpsFailure failureOf(DWORD error, const Progress& p) {
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return HttpsFailure::HostNotFound;
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return HttpsFailure::ConnectFailed;
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:
      if (!p.connected) return HttpsFailure::ConnectFailed;
      if (!p.sent) return HttpsFailure::HandshakeTimedOut;
      return HttpsFailure::TooLong;
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
      return HttpsFailure::CertificateExpired;
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
      return HttpsFailure::CertificateNameMismatch;
    case ERROR_WINHTTP_SECURE_INVALID_CA:
      return HttpsFailure::CertificateUntrusted;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
      if (p.secureFlags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID)
        return HttpsFailure::CertificateExpired;
      if (p.secureFlags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID)
        return HttpsFailure::CertificateNameMismatch;
      if (p.secureFlags & (WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA |
                           WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT |
                           WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED))
        return HttpsFailure::CertificateUntrusted;
      return error == ERROR_WINHTTP_SECURE_INVALID_CERT ? HttpsFailure::CertificateUntrusted
                                                        : HttpsFailure::HandshakeFailed;
    default:
      return HttpsFailure::TransferFailed;
  }
}

// Why the system refuses the server's certificate, through its own chain
// policy. Wine reports every refusal as a secure channel error without
// the flags that say why; a second request with the certificate checks
// off fetches the certificate (nothing of its answer is used). When the
// check cannot tell, `note` says which step stopped it, for the log.
struct Diagnosis {
  HttpsFailure failure = HttpsFailure::HandshakeFailed;
  std::string note;
};

std::string hex32(DWORD value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
  return out;
}

// The server's certificate, fetched by a HEAD with the certificate checks
// off; null (and `note` set) when none came.
PCCERT_CONTEXT fetchCertificate(HINTERNET connection, const std::wstring& path, int timeoutMs,
                                std::string& note) {
  Handle req(WinHttpOpenRequest(connection, L"HEAD", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!req.h) {
    note = "certificate check: no request (WinHTTP error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                 SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
  WinHttpSetOption(req.h, WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
  WinHttpSetTimeouts(req.h, timeoutMs, timeoutMs, timeoutMs, timeoutMs);
  if (!WinHttpSendRequest(req.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                          0)) {
    note = "certificate check: no answer (WinHTTP error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  PCCERT_CONTEXT cert = nullptr;
  DWORD size = sizeof cert;
  if (!WinHttpQueryOption(req.h, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) || !cert) {
    note = "certificate check: no certificate (WinHTTP error " + std::to_string(GetLastError()) +
           ")";
    return nullptr;
  }
  return cert;
}

Diagnosis diagnoseCertificate(HINTERNET connection, const std::wstring& path,
                              const std::wstring& host, SteadyClock::time_point deadline,
                              int handshakeMs) {
  Diagnosis result;
  // One more try when the first fetch gets nothing: the connection it
  // needs is new, and a second one within the bound costs little.
  PCCERT_CONTEXT cert = nullptr;
  for (int attempt = 0; attempt < 2 && !cert; ++attempt) {
    const int timeoutMs = std::min(handshakeMs, msLeft(deadline));
    if (timeoutMs <= 0) {
      if (result.note.empty()) result.note = "certificate check: no time left";
      return result;
    }
    cert = fetchCertificate(connection, path, timeoutMs, result.note);
  }
  if (!cert) return result;
  result.note.clear();
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &chainPara, 0, nullptr,
                              &chain)) {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
      switch (static_cast<HRESULT>(status.dwError)) {
        case CERT_E_EXPIRED:
          result.failure = HttpsFailure::CertificateExpired;
          break;
        case CERT_E_CN_NO_MATCH:
          result.failure = HttpsFailure::CertificateNameMismatch;
          break;
        case CERT_E_UNTRUSTEDROOT:
        case CERT_E_CHAINING:
        case CERT_E_UNTRUSTEDTESTROOT:
        case TRUST_E_CERT_SIGNATURE:
        case CERT_E_REVOKED:
          result.failure = HttpsFailure::CertificateUntrusted;
          break;
        default:
          break;
      }
    }
    // Wine's policy passes a chain that ends in an unknown root; the
    // chain's own status still says so.
    constexpr DWORD kUntrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                                 CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_REVOKED;
    if (result.failure == HttpsFailure::HandshakeFailed &&
        (chain->TrustStatus.dwErrorStatus & kUntrusted))
      result.failure = HttpsFailure::CertificateUntrusted;
    if (result.failure == HttpsFailure::HandshakeFailed)
      result.note = "certificate check: policy " + hex32(status.dwError) + ", chain " +
                    hex32(chain->TrustStatus.dwErrorStatus);
    CertFreeCertificateChain(chain);
  } else {
    result.note = "certificate check: no chain (error " + std::to_string(GetLastError()) + ")";
  }
  CertFreeCertificateContext(cert);
  return result;
}

}  // namespace

void httpsStartup() {}

HttpsAnswer httpsGet(const HttpsRequest& request) {
  HttpsAnswer answer;
  Progress progress;
  auto fail = [&](HttpsFailure failure, DWORD error) {
    answer.failure = failure;
    answer.status = 0;
    answer.headers.clear();
    std::string().swap(answer.body);
    answer.detail = "WinHTTP error " + std::to_string(error);
    return answer;
  };
  auto failWith = [&](DWORD error) { return fail(failureOf(error, progress), error); };

  if (msLeft(request.deadline) <= 0) return fail(HttpsFailure::TooLong, 0);
  const std::wstring url = widen(request.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
      parts.nScheme != INTERNET_SCHEME_HTTPS)
    return fail(HttpsFailure::ConnectFailed, GetLastError());
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  // A bracketed IPv6 literal is passed without its brackets.
  if (host.size() > 2 && host.front() == L'[' && host.back() == L']')
    host = host.substr(1, host.size() - 2);
  std::wstring path(parts.lpszUrlPath ? std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength)
                                      : std::wstring());
  if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  // No proxy unless one is configured for WinHTTP itself (none by default).
  Handle session(WinHttpOpen(widen(request.userAgent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.h) return failWith(GetLastError());
  DWORD protocols = kTls12 | kTls13;
  if (!WinHttpSetOption(session.h, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
    protocols = kTls12;
    if (!WinHttpSetOption(session.h, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols))
      return fail(HttpsFailure::HandshakeFailed, GetLastError());
  }
  DWORD decompression = kDecompressionAll;
  const bool decompresses =
      WinHttpSetOption(session.h, kOptionDecompression, &decompression, sizeof decompression);
  WinHttpSetStatusCallback(session.h, onStatus,
                           WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER |
                               WINHTTP_CALLBACK_FLAG_SEND_REQUEST |
                               WINHTTP_CALLBACK_FLAG_SECURE_FAILURE,
                           0);

  Handle connection(WinHttpConnect(session.h, host.c_str(), parts.nPort, 0));
  if (!connection.h) return failWith(GetLastError());
  Handle req(WinHttpOpenRequest(connection.h, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!req.h) return failWith(GetLastError());
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&progress);
  WinHttpSetOption(req.h, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
  DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(req.h, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);

  // The handshake runs inside the send; its bound is the send's and the
  // receive's time-out there. The wait for headers needs its own option,
  // set here already: Wine waits for them inside the send.
  const int left = msLeft(request.deadline);
  const int connectMs = std::min(request.connectTimeoutMs, left);
  const int handshakeMs = std::min(request.handshakeTimeoutMs, left);
  WinHttpSetTimeouts(req.h, left, std::max(connectMs, 1), std::max(handshakeMs, 1),
                     std::max(handshakeMs, 1));
  DWORD headerWait = static_cast<DWORD>(std::max(
      request.receiveTimeoutMs > 0 ? std::min(left, request.receiveTimeoutMs) : left, 1));
  WinHttpSetOption(req.h, kOptionReceiveResponseTimeout, &headerWait, sizeof headerWait);

  std::wstring extra;
  for (const std::string& line : request.headers) extra += widen(line) + L"\r\n";
  if (!decompresses) extra += L"Accept-Encoding: identity\r\n";
  const SteadyClock::time_point sendStart = SteadyClock::now();
  if (!WinHttpSendRequest(req.h, extra.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : extra.c_str(),
                          extra.empty() ? 0 : static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0,
                          0, 0)) {
    const DWORD error = GetLastError();
    // (12157 only comes after a connect, so whether the callback told it
    // does not matter here.)
    if (error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR && !progress.sent && progress.secureFlags == 0) {
      // Wine: a handshake cut by its time-out, or a certificate refused.
      if (SteadyClock::now() - sendStart >= Milliseconds(std::max(handshakeMs, 1)))
        return fail(HttpsFailure::HandshakeTimedOut, error);
      const Diagnosis diagnosis =
          diagnoseCertificate(connection.h, path, host, request.deadline, std::max(handshakeMs, 1));
      fail(diagnosis.failure, error);
      if (!diagnosis.note.empty()) answer.detail += "; " + diagnosis.note;
      return answer;
    }
    return failWith(error);
  }
  // From here on each wait for the server is bounded by the receive
  // time-out as well as by the deadline; a wait cut by the former is a
  // server that stopped sending.
  bool stallBound = false;
  auto boundWaits = [&](int remaining) {
    int wait = remaining;
    stallBound = request.receiveTimeoutMs > 0 && request.receiveTimeoutMs < remaining;
    if (stallBound) wait = request.receiveTimeoutMs;
    WinHttpSetTimeouts(req.h, remaining, remaining, remaining, wait);
    headerWait = static_cast<DWORD>(wait);
    WinHttpSetOption(req.h, kOptionReceiveResponseTimeout, &headerWait, sizeof headerWait);
  };
  auto failReceiving = [&](DWORD error) {
    if (error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT)
      return fail(stallBound ? HttpsFailure::Stalled : HttpsFailure::TooLong, error);
    return failWith(error);
  };
  const int afterSend = msLeft(request.deadline);
  if (afterSend <= 0) return fail(HttpsFailure::TooLong, 0);
  boundWaits(afterSend);
  if (!WinHttpReceiveResponse(req.h, nullptr)) return failReceiving(GetLastError());

  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(req.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    return failWith(GetLastError());
  answer.status = static_cast<int>(status);
  answer.reason = narrow(queryText(req.h, WINHTTP_QUERY_STATUS_TEXT));
  // The raw header block without its status line and final blank line.
  std::string raw = narrow(queryText(req.h, WINHTTP_QUERY_RAW_HEADERS_CRLF));
  const std::size_t firstEnd = raw.find("\r\n");
  raw.erase(0, firstEnd == std::string::npos ? raw.size() : firstEnd + 2);
  while (raw.size() >= 4 && raw.compare(raw.size() - 4, 4, "\r\n\r\n") == 0) raw.resize(raw.size() - 2);
  answer.headers = std::move(raw);

  char buffer[kReadChunk];
  for (;;) {
    if (request.cancel && request.cancel->load()) return fail(HttpsFailure::Cancelled, 0);
    const int remaining = msLeft(request.deadline);
    if (remaining <= 0) return fail(HttpsFailure::TooLong, 0);
    boundWaits(remaining);
    DWORD got = 0;
    if (!WinHttpReadData(req.h, buffer, sizeof buffer, &got)) return failReceiving(GetLastError());
    if (got == 0) break;
    if (got > request.maxBodyBytes - answer.body.size()) return fail(HttpsFailure::TooLarge, 0);
    answer.body.append(buffer, got);
  }
  return answer;
}

}  // namespace korvo
