#include <gtest/gtest.h>

#include "base/codec.h"
#include "base/error.h"

namespace loom {
namespace {

TEST(Windows1252Codec, EveryByteSurvivesTheDatabaseRoundTrip) {
  const TextCodec& codec = windows1252Codec();
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string stored = codec.toStore(all);
  EXPECT_EQ(codec.fromStore(stored, "test"), all);
  EXPECT_EQ(codec.toStore("\x80\x9f"), "\xE2\x82\xAC\xC5\xB8");  // € Ÿ
}

TEST(Windows1252Codec, CharacterWithoutWindows1252FormIsAnErrorNamingThePlace) {
  try {
    windows1252Codec().fromStore("a\xE4\xB8\xAD", "Constraints row 3, column \"Replace String\"");
    FAIL() << "no error";
  } catch (const LoomError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Rules);
    EXPECT_NE(std::string(e.what()).find("Constraints row 3, column \"Replace String\""),
              std::string::npos);
    EXPECT_NE(std::string(e.what()).find("U+4E2D"), std::string::npos);
  }
}

}  // namespace
}  // namespace loom
