// A fuzz target's committed corpus (its seeds and the inputs of earlier
// findings, fuzz/corpus/<target>/finding-*) replayed through the target in
// the normal test run, so that what the fuzzer once found stays tested
// without clang or libFuzzer. The target aborts on a broken rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace korvo::test {
namespace {

TEST(FuzzCorpusTest, EveryInputKeepsTheRules) {
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(KORVO_FUZZ_CORPUS))
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty()) << "no corpus in " << KORVO_FUZZ_CORPUS;
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    const std::string bytes = readWholeFile(input.string());
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     bytes.size()),
              0);
  }
  // The empty input, which libFuzzer always tries first.
  const std::uint8_t none = 0;
  EXPECT_EQ(LLVMFuzzerTestOneInput(&none, 0), 0);
}

}  // namespace
}  // namespace korvo::test
