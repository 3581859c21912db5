#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "image/PictureScaler.h"
#include "support/Bytes.h"
#include "support/SwfFile.h"
#include "support/Tools.h"

namespace vantrel::test {

// An input larger than the box, or one that fits it.
struct BoxCase {
    const char* name;       // a folder of its own, and the file made in it
    std::string make;       // FFmpeg's arguments, or none to copy the test video of its name
    int width, height;      // the stage in a 40 x 40 box; a source that fits keeps its size
    std::string reference;  // FFmpeg's filter that fits it, or none for the bytes unboxed
};

// The PSNR of a picture against blue, green, red, alpha bytes.
inline double psnr(const LosslessPicture& picture, const Bytes& bgra) {
    if (picture.argb.size() != bgra.size() || bgra.empty()) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < bgra.size(); ++i) {
        const double d = picture.argb[i] - bgra[i / 4 * 4 + 3 - i % 4];
        sum += d * d;
    }
    return sum == 0.0 ? INFINITY : 10.0 * std::log10(255.0 * 255.0 * bgra.size() / sum);
}

// Makes each case's input under `dir` and has `convertIn` convert them all
// losslessly with alpha, without a box and in a 40 x 40 one. In the box the
// stage and the first picture have the case's size; the picture is as close
// to FFmpeg's fitting as 40 dB; a hard edge against transparent green (a
// case named "edge/...") leaves no green in the scaled edge; what fits keeps
// every byte.
inline void expectFittedIntoTheBox(const std::filesystem::path& dir,
                                   const std::vector<BoxCase>& cases,
                                   const std::function<void(PictureBox)>& convertIn) {
    namespace fs = std::filesystem;
    for (const BoxCase& c : cases) {
        const fs::path path = dir / c.name;
        fs::create_directories(path.parent_path());
        if (c.make.empty()) {
            fs::copy_file(fs::path(VANTREL_TEST_DATA) / "video" / path.filename(), path);
        } else {
            ASSERT_TRUE(ffmpeg(c.make, path)) << c.name;
        }
    }
    std::map<std::string, Bytes> unboxed;
    for (const PictureBox box : {PictureBox{}, PictureBox{40, 40}}) {
        convertIn(box);
        for (const BoxCase& c : cases) {
            SCOPED_TRACE(c.name);
            const bool sequence = fs::path(c.name).extension() == ".png";
            const fs::path movie =
                (dir / c.name).parent_path() /
                (sequence ? "walk.swf" : fs::path(c.name).stem().string() + ".swf");
            if (!box.limits()) {
                unboxed[c.name] = readFile(movie);
                continue;
            }
            const SwfFile swf = readSwf(movie);
            ASSERT_TRUE(swf.valid);
            EXPECT_EQ(swf.width, c.width * 20);
            EXPECT_EQ(swf.height, c.height * 20);
            const std::vector<LosslessPicture> pictures =
                losslessPictures(swf, tag::DefineBitsLossless2);
            ASSERT_FALSE(pictures.empty());
            ASSERT_EQ(pictures[0].width, c.width);
            ASSERT_EQ(pictures[0].height, c.height);
            if (c.reference.empty()) {
                EXPECT_EQ(readFile(movie), unboxed[c.name]);
                continue;
            }
            const fs::path reference = dir / "reference.bgra";
            ASSERT_TRUE(ffmpeg("-noautorotate -i '" + (dir / c.name).string() + "' -vf " +
                                   c.reference + " -frames:v 1 -pix_fmt bgra -f rawvideo",
                               reference));
            EXPECT_GE(psnr(pictures[0], readFile(reference)), 40.0);
            if (std::string(c.name).find("edge") == 0) {
                for (std::size_t i = 2; i < pictures[0].argb.size(); i += 4) {
                    ASSERT_EQ(pictures[0].argb[i], 0) << "green at pixel " << i / 4;
                }
            }
        }
    }
}

}  // namespace vantrel::test
