#include "support/case_address.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace korvo::test {

std::string addressForCase(std::string_view fullName) {
  // FNV-1a: small, and the same on every system and build.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : fullName) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  const std::uint64_t a = 1 + hash % 254;
  hash /= 254;
  const std::uint64_t b = hash % 256;
  hash /= 256;
  const std::uint64_t c = 1 + hash % 254;
  return "127." + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
}

namespace {

std::string caseName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) {
    std::fputs("caseAddress() called outside a test case\n", stderr);
    std::abort();
  }
  return std::string(info->test_suite_name()) + "." + info->name();
}

}  // namespace

std::string caseAddress() { return addressForCase(caseName()); }

std::string caseAddress(int n) { return addressForCase(caseName() + "/" + std::to_string(n)); }

std::string caseUrl(std::string_view path) {
  return "http://" + caseAddress() + std::string(path);
}

}  // namespace korvo::test
