// Any bytes in any charset to any target. The input: one byte choosing the
// document's code page, one the target (latin1 mode among them), then the
// document. Rules: reading accounts for every byte; nothing puts a "?"
// into the text that the document did not have; UTF-8 comes out
// well-formed; a multi-byte target reads back whole however it is cut.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "fuzz_check.h"
#include "platform/text_conversion.h"
#include "text/target_code_page.h"

namespace {

using korvo::TargetCodePage;
namespace charset = korvo::charset;

constexpr unsigned kSources[] = {charset::kUtf8,
                                 charset::kUtf16Le,
                                 charset::kUtf16Be,
                                 1250,
                                 1251,
                                 1252,
                                 1253,
                                 1254,
                                 1255,
                                 1256,
                                 1257,
                                 1258,
                                 874,
                                 932,
                                 936,
                                 949,
                                 950,
                                 866,
                                 20866,
                                 21866,
                                 charset::kEucJp,
                                 28591,
                                 28592,
                                 28595,
                                 28597,
                                 28598,
                                 28605};
constexpr unsigned kTargets[] = {0 /* latin1 mode */,
                                 charset::kUtf8,
                                 1250,
                                 1251,
                                 1252,
                                 1253,
                                 1255,
                                 1258,
                                 874,
                                 932,
                                 936,
                                 949,
                                 950,
                                 866,
                                 20866,
                                 28597,
                                 28605};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned source = kSources[data[0] % std::size(kSources)];
  const unsigned targetNumber = kTargets[data[1] % std::size(kTargets)];
  const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  std::u32string text;
  std::size_t dropped = 0;
  FUZZ_CHECK(charset::decode(source, bytes, text, &dropped));
  FUZZ_CHECK(text.size() + dropped <= bytes.size());

  const TargetCodePage target =
      targetNumber ? TargetCodePage{targetNumber, false} : TargetCodePage{};
  const std::string out = korvo::encodeForTarget(text, target);
  std::size_t questionMarks = 0;
  for (char32_t c : text) questionMarks += c == U'?';
  std::size_t written = 0;
  for (char c : out) written += c == '?';
  FUZZ_CHECK(written == questionMarks);

  if (target.latin1 || !charset::isMultiByte(target.number)) return 0;
  std::u32string back;
  std::size_t lost = 0;
  FUZZ_CHECK(charset::decode(target.number, out, back, &lost));
  FUZZ_CHECK(lost == 0);
  for (std::size_t max = 0; max <= out.size(); max += 1 + max / 3) {
    const std::size_t cut = korvo::characterBoundary(out, max, target.number);
    FUZZ_CHECK(cut <= max);
    FUZZ_CHECK(cut + 4 > max);
    std::u32string part;
    lost = 0;
    FUZZ_CHECK(charset::decode(target.number, out.substr(0, cut), part, &lost));
    FUZZ_CHECK(lost == 0);
  }
  return 0;
}
