#include "feed/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo {
namespace {

TEST(Base64Test, DecodesWithOrWithoutPaddingAndBlanks) {
  const struct {
    const char* text;
    std::string bytes;
  } cases[] = {
      {"", ""},
      {"SGVsbG8=", "Hello"},
      {"SGVsbG8", "Hello"},
      {"SGVsbA==", "Hell"},
      {"SGVsbA", "Hell"},
      {"SGVs", "Hel"},
      {" SGVs\r\n bG8=\n", "Hello"},
      {"SGVsbA= =", "Hell"},
      {"+/8A", std::string("\xFB\xFF\x00", 3)},
      {"w6k=", "\xC3\xA9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out = "before";
    ASSERT_TRUE(decodeBase64(c.text, out));
    EXPECT_EQ(out, c.bytes);
  }
}

TEST(Base64Test, RefusesWhatIsNoBase64) {
  for (const char* text : {"SGVsbG8*", "SGV=sbG8", "S", "SGVsb", "SGVsbG8==", "SGVsbA===",
                           "=", "====", "SGVs-_8", "SGVsbG8=x", "\xC3\xA9"}) {
    SCOPED_TRACE(text);
    std::string out = "before";
    EXPECT_FALSE(decodeBase64(text, out));
    EXPECT_EQ(out, "before");
  }
}

}  // namespace
}  // namespace korvo
