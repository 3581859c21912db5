#include <gtest/gtest.h>

#include "convert/VantrelDoc.h"

namespace vantrel {
namespace {

TEST(Settings, NewDocumentHasTheDefaults) {
    CVantrelDoc doc;
    EXPECT_EQ(doc.settings.compression, CompressionType::Jpeg);
    EXPECT_FALSE(doc.settings.includeAlpha);
    EXPECT_TRUE(doc.settings.outputHtml);
    EXPECT_EQ(doc.settings.colorQuality, 90);
    EXPECT_EQ(doc.settings.frameRate, 15.0f);
    EXPECT_TRUE(doc.settings.videoSound);
    EXPECT_EQ(doc.settings.maxSize, (PictureBox{0, 0}));
    EXPECT_TRUE(doc.jobs.isEmpty());
    EXPECT_EQ(static_cast<int>(CompressionType::Lossless), 1);
}

TEST(JobList, PicturePathsUseEachPicturesSpellingAndExtension) {
    const FolderJob job{"/anim/walk", "bmp", {{"001", "bmp"}, {"002", "bmp"}, {"010", "JPG"}}};
    EXPECT_EQ(job.picturePath(0), "/anim/walk001.bmp");
    EXPECT_EQ(job.picturePath(1), "/anim/walk002.bmp");
    EXPECT_EQ(job.picturePath(2), "/anim/walk010.JPG");
}

TEST(JobList, ClearEmptiesBothCollections) {
    JobList jobs;
    jobs.folderJobs.push_back({"/a/x", "tga", {{"1", "tga"}}});
    EXPECT_FALSE(jobs.isEmpty());
    jobs.clear();
    EXPECT_TRUE(jobs.isEmpty());
    jobs.videoJobs.push_back({"/v/clip.avi"});
    EXPECT_FALSE(jobs.isEmpty());
    jobs.clear();
    EXPECT_TRUE(jobs.isEmpty());
}

}  // namespace
}  // namespace vantrel
