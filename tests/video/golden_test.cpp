// Whole pictures: kestra-headless --screenshot on our still-picture
// cartridges and on images written by others, compared pixel for pixel with
// reference screenshots that were looked at and judged by eye.
#include <gtest/gtest.h>

#include <filesystem>

#include "video/png.h"
#include "video_test_support.h"

namespace kestra {
namespace {

struct Golden {
  const char* name;   // tests/video/golden/NAME.png
  std::string image;  // the cartridge
  int frames;
};

void ExpectMatchesGolden(const Golden& g) {
  SCOPED_TRACE(g.name);
  const std::filesystem::path outDir = std::filesystem::path(KESTRA_BINARY_DIR) / "golden-actual";
  std::filesystem::create_directories(outDir);
  const std::string actualPath = (outDir / (std::string(g.name) + ".png")).string();
  ASSERT_EQ(test::RunHeadless({"-n", std::to_string(g.frames), "--screenshot", actualPath, g.image}).status, 0);

  const test::PngImage expected =
      test::ReadStoredPng(std::string(KESTRA_GOLDEN_DIR) + "/" + g.name + ".png");
  const test::PngImage actual = test::ReadStoredPng(actualPath);
  ASSERT_FALSE(expected.rgb.empty()) << "no reference picture";
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);
  size_t differing = 0, first = 0;
  for (size_t i = 0; i < actual.rgb.size(); i += 3) {
    if (!std::equal(&actual.rgb[i], &actual.rgb[i] + 3, &expected.rgb[i])) {
      if (differing++ == 0) first = i / 3;
    }
  }
  EXPECT_EQ(differing, 0u) << "first at x " << first % actual.width << ", y "
                           << first / actual.width << "; the picture is " << actualPath;
}

TEST(GoldenPictures, OurCartridges) {
  const Golden ours[] = {
      {"mono2bit", test::RomPath("video_mono2bit.ws"), 20},
      {"colour4bit", test::RomPath("video_colour4bit.wsc"), 20},
      {"windows", test::RomPath("video_windows.wsc"), 20},
      {"vertical", test::RomPath("video_vertical.ws"), 20},
  };
  for (const Golden& g : ours) ExpectMatchesGolden(g);
}

TEST(GoldenPictures, ImagesWrittenByOthers) {
  if (!std::filesystem::exists(test::ThirdPartyPath("dekadence-sprites.ws"))) {
    GTEST_SKIP() << "no third-party images here";
  }
  ExpectMatchesGolden({"dekadence-sprites-600", test::ThirdPartyPath("dekadence-sprites.ws"), 600});
  ExpectMatchesGolden(
      {"dekadence-screentester", test::ThirdPartyPath("dekadence-screentester.ws"), 300});
}

}  // namespace
}  // namespace kestra
