#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ScratchDir.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 96;
constexpr int kHeight = 64;

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The kWidth x kHeight pixels at (x, y) of a picture, as FFmpeg decodes them.
std::string pixels(const fs::path& picture, int x, int y) {
    return commandOutput("ffmpeg -nostdin -v error -i " + quoted(picture) +
                         " -vf crop=" + std::to_string(kWidth) + ":" + std::to_string(kHeight) +
                         ":" + std::to_string(x) + ":" + std::to_string(y) +
                         " -f rawvideo -pix_fmt rgb24 -");
}

// The page of a lossless movie, served over HTTP with Ruffle beside it and
// opened in headless Chromium, shows the pictures pixel for pixel, in order.
TEST(Browser, RuffleShowsThePicturesOfTheMovie) {
    ASSERT_EQ(std::system("command -v chromium >/dev/null"), 0)
        << "chromium is missing: run scripts/install-deps.sh";
    const fs::path ruffle = VANTREL_RUFFLE_DIR;
    ASSERT_TRUE(fs::exists(ruffle / "ruffle.js"))
        << (ruffle / "ruffle.js").string() << " is missing: run scripts/install-deps.sh";

    ScratchDir dir;
    const fs::path site = dir.path() / "site";
    const fs::path shots = dir.path() / "shots";
    fs::create_directory(site);
    fs::create_directory(shots);
    std::vector<std::string> pictures;
    for (int i = 1; i <= 3; ++i) {
        const fs::path png = site / ("walk" + std::to_string(i) + ".png");
        ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=" + std::to_string(kWidth) + "x" +
                           std::to_string(kHeight) + ":rate=1 -vf trim=start_frame=" +
                           std::to_string(3 * i) + " -frames:v 1 " + quoted(png)));
        pictures.push_back(pixels(png, 0, 0));
    }
    ASSERT_NE(pictures[0], pictures[1]);

    const std::string convert = quoted(VANTREL_CLI) +
                                " --quiet --lossless --rate 1 --player-script ruffle/ruffle.js " +
                                quoted(site) + " >/dev/null";
    ASSERT_EQ(std::system(convert.c_str()), 0);
    fs::create_directory_symlink(ruffle, site / "ruffle");
    const std::string shoot = "timeout 120 python3 " + quoted(VANTREL_SCREENSHOT_PAGE) + " " +
                              quoted(site) + " walk.html 160 120 4.5 " + quoted(shots);
    ASSERT_EQ(std::system(shoot.c_str()), 0);

    // The player sits at the body's 8-pixel margin, the stage at its own size.
    // Until the first frame is drawn it shows no picture; from then on, only
    // the movie's pictures.
    std::vector<int> shown;
    for (int n = 1; fs::exists(shots / (std::to_string(n) + ".png")); ++n) {
        const std::string area = pixels(shots / (std::to_string(n) + ".png"), 8, 8);
        const auto match = std::find(pictures.begin(), pictures.end(), area);
        if (match != pictures.end()) {
            shown.push_back(static_cast<int>(match - pictures.begin()) + 1);
        } else {
            EXPECT_TRUE(shown.empty()) << "screenshot " << n << " shows none of the pictures";
        }
    }
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0], 1);
    EXPECT_EQ(shown[1], 2);
}

}  // namespace
}  // namespace vantrel::test
