// The fast text cleanup against its literal version: any difference in
// replaceBr, filterHtml or the two in the order the parser runs them (line
// feeds for separating tags after replaceBr) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "support/text_oracle.h"
#include "text/text_cleaner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  std::string fast = input, literal = input;
  korvo::replaceBr(fast);
  korvo::test::literalReplaceBr(literal);
  FUZZ_CHECK(fast == literal);

  korvo::filterHtml(fast, korvo::TagBreak::LineFeed);
  korvo::test::literalFilterHtml(literal, korvo::TagBreak::LineFeed);
  FUZZ_CHECK(fast == literal);

  fast = input, literal = input;
  korvo::filterHtml(fast);
  korvo::test::literalFilterHtml(literal);
  FUZZ_CHECK(fast == literal);
  return 0;
}
