#pragma once
// What every fuzz target does when an input breaks a rule: say which rule
// and abort, so that libFuzzer keeps the input as a finding.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                           \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "%s:%d: rule broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)
