#pragma once
// Tests of the secure path run in a namespace of their own (made by
// tests/support/tls-namespace): a throw-away CA is trusted there and the
// test host names resolve, so the library needs no test-only switch.
// A test program linked with tls_namespace_main.cpp re-runs itself there.
#include <string>

#include <gtest/gtest.h>

#include "support/prerequisite.h"

namespace korvo::test {

// The directory of the CA and certificates (ca.pem, good.pem/.key, ...),
// or empty outside the namespace.
std::string tlsDir();
// Why the namespace could not be made, or empty.
std::string tlsProblem();

#define KORVO_SKIP_WITHOUT_TLS_NAMESPACE()                                       \
  do {                                                                          \
    if (::korvo::test::tlsDir().empty())                                        \
      KORVO_SKIP_FOR_PREREQUISITE()                                             \
          << "no TLS test namespace: " << ::korvo::test::tlsProblem();          \
  } while (0)

}  // namespace korvo::test
