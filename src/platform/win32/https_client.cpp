#include "platform/https_client.h"

namespace korvo {

// WinHTTP is not wired in yet: every secure download fails clearly.
HttpsAnswer httpsGet(const HttpsRequest&) {
  HttpsAnswer answer;
  answer.failure = HttpsFailure::HandshakeFailed;
  answer.detail = "secure connections are not built into this Windows library yet";
  return answer;
}

}  // namespace korvo
