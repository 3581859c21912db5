#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>
#include <random>
#include <string>
#include <vector>

#include "convert/JobIntake.h"
#include "support/Faults.h"
#include "support/Jobs.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct RecordingCollector : PathCollector {
    Strings paths;
    void add(const std::string& path) override { paths.push_back(path); }
};

// A scratch folder tree, removed after each test.
class Intake : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "vantrel-intake-XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr);
        root_ = name;
    }
    void TearDown() override {
        for (const std::string& folder : locked_) ::chmod(folder.c_str(), 0755);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    std::string at(const std::string& rel) const { return root_ + "/" + rel; }
    void file(const std::string& rel) {
        fs::create_directories(fs::path(at(rel)).parent_path());
        std::ofstream(at(rel)) << "x";
    }
    void files(const Strings& rels) {
        for (const std::string& rel : rels) file(rel);
    }
    void folder(const std::string& rel) { fs::create_directories(at(rel)); }
    void lock(const std::string& rel) {
        locked_.push_back(at(rel));
        ASSERT_EQ(::chmod(at(rel).c_str(), 0), 0);
    }

    // The rows of a drop of the given folders, relative to the tree.
    Strings dropRows(const Strings& rels = {""}, FolderDepth depth = FolderDepth::WithSubFolders) {
        Strings paths;
        for (const std::string& rel : rels) paths.push_back(rel.empty() ? root_ : at(rel));
        result_ = dropPaths(jobs_, paths, DroppedFiles::Refuse, depth);
        Strings rows;
        for (const std::string& row : listRows(jobs_)) {
            rows.push_back(row.rfind(root_ + "/", 0) == 0 ? row.substr(root_.size() + 1) : row);
        }
        return rows;
    }
    Strings scanned(const std::string& pattern) {
        RecordingCollector collector;
        EXPECT_TRUE(scanFolder(root_, pattern, collector));
        for (std::string& path : collector.paths) path.erase(0, root_.size() + 1);
        return collector.paths;
    }

    std::string root_;
    Strings locked_;
    JobList jobs_;
    DropResult result_;
};

TEST_F(Intake, NumbersAreOrderedByValueAndRowShowsFirstAndLast) {
    files({"walk1.bmp", "walk2.bmp", "walk10.bmp"});
    EXPECT_EQ(dropRows(), Strings{"walk(1 - 10).bmp"});
    EXPECT_EQ(numbersOf(jobs_.folderJobs.front()), (Strings{"1", "2", "10"}));
    EXPECT_EQ(jobs_.folderJobs.front().prefix, at("walk"));
}

TEST_F(Intake, LeadingZerosAreKeptAndTheFirstOfEqualValueWins) {
    files({"walk01.bmp", "walk1.bmp", "walk0003.bmp", "walk3.bmp", "one5.bmp"});
    EXPECT_EQ(dropRows(), (Strings{"one(5 - 5).bmp", "walk(01 - 0003).bmp"}));
    EXPECT_EQ(numbersOf(jobs_.folderJobs.back()), (Strings{"01", "0003"}));

    std::list<FolderJob> jobs;
    for (const char* path :
         {"/p/w7.bmp", "/p/w0007.bmp", "/p/w3.bmp", "/p/w007.bmp", "/p/w9.bmp"}) {
        addPicture(jobs, path);
    }
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(numbersOf(jobs.front()), (Strings{"3", "7", "9"}));
}

// The most a movie can hold, unpadded and offered in name order (1, 10, 100,
// 1000, 10000, 10001, ...) as a scan does: every thousandth value is first
// spelled with a leading zero (which sorts ahead), and some values come
// again from a later pattern. The first spelling of each value wins.
TEST(PictureCollector, ManyUnpaddedNumbersInNameOrderComeOutInValueOrder) {
    constexpr int kCount = 65535;
    Strings bmps;
    for (int n = 1; n <= kCount; ++n) {
        bmps.push_back("/p/w" + std::to_string(n) + ".bmp");
        if (n % 1000 == 0) bmps.push_back("/p/w0" + std::to_string(n) + ".bmp");
    }
    std::sort(bmps.begin(), bmps.end());
    ASSERT_EQ(Strings(bmps.begin() + 64, bmps.begin() + 70),
              (Strings{"/p/w09000.bmp", "/p/w1.bmp", "/p/w10.bmp", "/p/w100.bmp", "/p/w1000.bmp",
                       "/p/w10000.bmp"}));

    std::list<FolderJob> jobs;
    {
        PictureCollector collector(jobs);
        for (const std::string& path : bmps) collector.add(path);
        for (int n = 777; n <= kCount; n += 777) {
            collector.add("/p/w00" + std::to_string(n) + ".jpg");
        }
    }
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs.front().extension, "bmp");
    const Strings numbers = numbersOf(jobs.front());
    ASSERT_EQ(numbers.size(), std::size_t{kCount});
    for (int n = 1; n <= kCount; ++n) {
        const std::string expected = (n % 1000 == 0 ? "0" : "") + std::to_string(n);
        ASSERT_EQ(numbers[n - 1], expected) << "value " << n;
    }
}

// The collector groups a whole scan exactly as adding the paths one by one
// with addPicture does, whatever jobs were queued before.
TEST(PictureCollector, GroupsLikeAddPictureOneByOne) {
    struct Case {
        const char* what;
        std::list<FolderJob> queued;
        Strings paths;
    };
    Strings shuffled;
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        const std::string prefix = std::string("/r/") + "abc"[random() % 3] + "_";
        const std::string zeros(random() % 3, '0');
        shuffled.push_back(prefix + zeros + std::to_string(random() % 500) +
                           (random() % 2 ? ".bmp" : ".TGA"));
    }
    const std::vector<Case> cases = {
        {"interleaved prefixes, equal values",
         {},
         {"/a/w3.bmp", "/a/v2.bmp", "/a/w03.tga", "/a/W1.bmp", "/a/w1.jpg", "/a/v1.bmp",
          "/a/w10.bmp", "/a/v02.bmp"}},
        {"names that are no pictures and numbers over int32",
         {},
         {"/p/walk", "/p/v1.0/walk", "/p/walk.bmp", "1.bmp", ".bmp", "/p/w2147483648.bmp",
          "/p/w2147483647.bmp", "/p/w00000000000002.bmp", "/p/w99999999999999999999.bmp"}},
        {"jobs queued before keep their numbers ahead of equal ones",
         {sequenceJob("/q/w", "tga", {"2", "005"}), sequenceJob("/q/v", "bmp", {})},
         {"/q/w5.bmp", "/q/w1.bmp", "/q/w002.bmp", "/q/v9.bmp", "/q/u1.jpg", "/q/w7.bmp"}},
        {"random names", {}, shuffled},
    };
    for (const Case& c : cases) {
        std::list<FolderJob> oneByOne = c.queued;
        for (const std::string& path : c.paths) addPicture(oneByOne, path);
        std::list<FolderJob> collected = c.queued;
        {
            PictureCollector collector(collected);
            for (const std::string& path : c.paths) collector.add(path);
        }
        ASSERT_EQ(collected.size(), oneByOne.size()) << c.what;
        for (auto a = collected.begin(), b = oneByOne.begin(); a != collected.end(); ++a, ++b) {
            EXPECT_EQ(a->prefix, b->prefix) << c.what;
            EXPECT_EQ(a->extension, b->extension) << c.what;
            EXPECT_EQ(a->pictures, b->pictures) << c.what << ", " << a->prefix;
        }
    }
}

// The row shows the first kind found; each number is read from its own file.
TEST_F(Intake, TgaIsScannedBeforeBmpForTheSamePrefix) {
    files({"walk001.bmp", "walk001.tga", "walk002.bmp", "run1.jpg", "run2.bmp"});
    EXPECT_EQ(dropRows(), (Strings{"walk(001 - 002).tga", "run(1 - 2).bmp"}));
    const FolderJob& walk = jobs_.folderJobs.front();
    EXPECT_EQ(walk.picturePath(0), at("walk001.tga"));
    EXPECT_EQ(walk.picturePath(1), at("walk002.bmp"));
    EXPECT_EQ(jobs_.folderJobs.back().picturePath(0), at("run1.jpg"));
}

TEST_F(Intake, PrefixesAreCaseSensitiveAndExtensionsKeepTheirSpelling) {
    files({"Walk001.bmp", "walk002.bmp", "run001.BMP", "run002.bmp", "Clip.Mpeg", "pic1.JpG",
           "pic2.jpeg", "shot1.TGA"});
    EXPECT_EQ(dropRows(), (Strings{"shot(1 - 1).TGA", "run(001 - 002).BMP", "Walk(001 - 001).bmp",
                                   "walk(002 - 002).bmp", "pic(1 - 2).JpG", "Clip.Mpeg"}));
}

// JPEG as .jpeg, then PNG, come after the first three kinds.
TEST_F(Intake, JpegAndPngPicturesFollowTheOtherKinds) {
    files({"walk1.png", "walk2.png", "walk3.png", "x1.jpeg", "x2.JPEG", "w1.png", "w1.jpg",
           "w2.jpeg"});
    EXPECT_EQ(dropRows(), (Strings{"w(1 - 2).jpg", "x(1 - 2).jpeg", "walk(1 - 3).png"}));
    const FolderJob& w = jobs_.folderJobs.front();
    EXPECT_EQ(w.picturePath(0), at("w1.jpg"));
    EXPECT_EQ(w.picturePath(1), at("w2.jpeg"));
}

TEST_F(Intake, NamesWithoutANumberBeforeTheExtensionAreIgnored) {
    files({"image.bmp", "7.bmp", "walk_12.5.bmp", "a1.bmpx", "b1.bmp.txt", "c1"});
    EXPECT_EQ(dropRows(), (Strings{"(7 - 7).bmp", "walk_12.(5 - 5).bmp"}));
    EXPECT_EQ(jobs_.folderJobs.front().prefix, root_ + "/");

    std::list<FolderJob> jobs;
    for (const char* path : {"/p/walk", "/p/v1.0/walk", "/p/walk.bmp", "1.bmp", ".bmp"}) {
        addPicture(jobs, path);
    }
    EXPECT_TRUE(jobs.empty());
}

TEST_F(Intake, NumbersTooLargeForInt32AreIgnored) {
    std::list<FolderJob> jobs;
    for (const char* path :
         {"/p/big2147483648.bmp", "/p/w2147483648.bmp", "/p/w2147483647.bmp", "/p/w4294967297.bmp",
          "/p/w99999999999999999999.bmp", "/p/w00000000000002.bmp"}) {
        addPicture(jobs, path);
    }
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs.front().prefix, "/p/w");
    EXPECT_EQ(numbersOf(jobs.front()), (Strings{"00000000000002", "2147483647"}));

    files({"x2147483648.bmp", "x1.bmp"});
    EXPECT_EQ(dropRows(), Strings{"x(1 - 1).bmp"});
}

TEST_F(Intake, SubFolderJobsComeFirstWithinEachPattern) {
    files({"a1.bmp", "z1.tga", "sub/s1.bmp", "sub/t1.tga", "sub/deeper/d1.jpg"});
    EXPECT_EQ(dropRows(), (Strings{"sub/t(1 - 1).tga", "z(1 - 1).tga", "sub/s(1 - 1).bmp",
                                   "a(1 - 1).bmp", "sub/deeper/d(1 - 1).jpg"}));
}

TEST_F(Intake, FoldersAndFilesAreTakenInCaseInsensitiveNameOrder) {
    files({"beta/f.bmp", "Alpha/f.bmp", "b.bmp", "B.bmp", "a.BMP", "_c.bmp", "A.bmp", "c.txt",
           "w10.bmp", "w1.bmp", "w2.bmp"});
    EXPECT_EQ(scanned("*.bmp"), (Strings{"Alpha/f.bmp", "beta/f.bmp", "_c.bmp", "A.bmp", "a.BMP",
                                         "B.bmp", "b.bmp", "w1.bmp", "w10.bmp", "w2.bmp"}));
    EXPECT_EQ(scanned("?.bmp"),
              (Strings{"Alpha/f.bmp", "beta/f.bmp", "A.bmp", "a.BMP", "B.bmp", "b.bmp"}));
}

TEST_F(Intake, VideosAreQueuedByPatternAndDroppedFilesAreRefused) {
    files({"clip.avi", "b.MPEG", "a.mpg", "sub/x.avi", "c.mp4", "d.mpeg.bak", "walk1.bmp",
           "e.OGV", "f.flv", "g.wmv", "h.webm", "i.mkv", "j.mov", "k.m4v", "l.mp4.tmp"});
    EXPECT_EQ(dropRows({"clip.avi", "", "walk1.bmp"}),
              (Strings{"walk(1 - 1).bmp", "sub/x.avi", "clip.avi", "a.mpg", "b.MPEG", "c.mp4",
                       "k.m4v", "j.mov", "i.mkv", "h.webm", "g.wmv", "f.flv", "e.OGV"}));
    EXPECT_EQ(result_.refused, (Strings{at("clip.avi"), at("walk1.bmp")}));
    EXPECT_TRUE(result_.unreadable.empty());
    EXPECT_EQ(kNotFolderMessage,
              words(Fault(FaultCode::NotAFolder, FaultStep::DropItem, at("walk1.bmp"))));

    EXPECT_EQ(dropRows({"clip.avi"}), Strings{});
    EXPECT_TRUE(jobs_.isEmpty());
    EXPECT_EQ(result_.refused, Strings{at("clip.avi")});

    std::vector<VideoJob> videos;
    addVideo(videos, "/v/readme.txt");
    addVideo(videos, "/v/readme.txt");
    EXPECT_EQ(videos.size(), 2u);
}

// Transport streams made by FFmpeg, of 188-byte packets and of 192 as
// camcorders write them (also one past 4 GiB), are queued; TypeScript sources (.ts, .mts) beside
// them, and files too short to tell, are passed over without a word, and
// one dropped as a file is refused as any other file that is no video.
TEST_F(Intake, TransportStreamsAreTakenByTheirPacketsNotTheirName) {
    const std::string input =
        "-f lavfi -i testsrc2=size=32x24:rate=25 -frames:v 3 -c:v mpeg2video ";
    ASSERT_TRUE(ffmpeg(input + "'" + at("broadcast.ts") + "'"));
    ASSERT_TRUE(ffmpeg(input + "-mpegts_m2ts_mode 1 -f mpegts '" + at("00001.MTS") + "'"));
    fs::copy_file(at("00001.MTS"), at("disc.m2ts"));
    fs::resize_file(at("disc.m2ts"), std::uintmax_t{5} << 30);  // over 4 GiB, mostly a hole
    std::ofstream(at("app.ts")) << "export const answer: number = 42;\n";
    std::ofstream(at("lib.mts")) << "export default function greet(): string { return 'G'; }\n";
    std::ofstream(at("short.ts")) << "G";
    files({"film.vob", "phone.3gp", "tape.dv"});
    EXPECT_EQ(dropRows(), (Strings{"broadcast.ts", "disc.m2ts", "00001.MTS", "film.vob",
                                   "phone.3gp", "tape.dv"}));
    EXPECT_TRUE(result_.refused.empty());
    EXPECT_TRUE(result_.unlisted.empty());

    result_ = dropPaths(jobs_, {at("app.ts"), at("broadcast.ts")}, DroppedFiles::TakeVideos);
    ASSERT_EQ(jobs_.videoJobs.size(), 1u);
    EXPECT_EQ(jobs_.videoJobs[0].path, at("broadcast.ts"));
    EXPECT_EQ(result_.refused, Strings{at("app.ts")});
}

TEST_F(Intake, FoldersAreScannedOneAfterTheOtherAndADropReplacesTheJobs) {
    files({"one/a1.bmp", "one/v.avi", "two/b1.tga", "two/w.avi"});
    EXPECT_EQ(dropRows({"one", "two"}),
              (Strings{"one/a(1 - 1).bmp", "two/b(1 - 1).tga", "one/v.avi", "two/w.avi"}));
    EXPECT_EQ(dropRows({"two/"}), (Strings{"two/b(1 - 1).tga", "two/w.avi"}));
}

// Links to folders are followed, each real folder searched once under the
// first path that reaches it, so loops end and a folder dropped under
// several spellings gives its jobs once.
TEST_F(Intake, EachRealFolderIsSearchedOnce) {
    files({"a/p1.bmp", "other/o1.bmp", "w1.bmp"});
    fs::create_directory_symlink("..", at("a/up"));
    fs::create_directory_symlink(".", at("a/self"));
    fs::create_directory_symlink("../other", at("a/link"));
    fs::create_symlink("w1.bmp", at("w2.bmp"));
    fs::create_directory_symlink("a", at("x1.bmp"));
    const std::vector<std::pair<Strings, Strings>> drops = {
        {{"", "a", "./"}, {"a/link/o(1 - 1).bmp", "a/p(1 - 1).bmp", "w(1 - 2).bmp"}},
        {{"a/link"}, {"a/link/o(1 - 1).bmp"}},
        {{"a", "./a/", "x1.bmp", "a/../a", "other", ""},
         {"a/link/o(1 - 1).bmp", "a/up/w(1 - 2).bmp", "a/p(1 - 1).bmp"}},
    };
    for (const auto& [dropped, rows] : drops) {
        EXPECT_EQ(dropRows(dropped), rows) << dropped.back();
        EXPECT_TRUE(result_.unreadable.empty());
    }
}

TEST_F(Intake, OnlyRegularFilesAreOffered) {
    files({"x1.bmp/y1.bmp", "w1.bmp"});
    ASSERT_EQ(::mkfifo(at("w2.bmp").c_str(), 0600), 0);
    EXPECT_EQ(dropRows(), (Strings{"x1.bmp/y(1 - 1).bmp", "w(1 - 1).bmp"}));
}

TEST_F(Intake, UnreadableAndMissingFoldersGiveNothing) {
    files({"locked/l1.bmp", "open/o1.bmp"});
    EXPECT_EQ(dropRows({"missing", "open"}), Strings{"open/o(1 - 1).bmp"});
    EXPECT_TRUE(result_.refused.empty());
    EXPECT_EQ(result_.unreadable, Strings{at("missing")});

    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not restrict root";
    lock("locked");
    EXPECT_EQ(dropRows(), Strings{"open/o(1 - 1).bmp"});
    EXPECT_TRUE(result_.unreadable.empty());
    EXPECT_EQ(dropRows({"locked"}), Strings{});
    EXPECT_EQ(result_.unreadable, Strings{at("locked")});
}

TEST_F(Intake, JobsKnowTheirDroppedFolderAndVideoFilesMayBeTaken) {
    files({"one/sub/a1.bmp", "two/w.MKV", "clip.avi", "walk1.bmp"});
    result_ = dropPaths(jobs_, {at("one"), at("two/"), at("clip.avi"), at("walk1.bmp")},
                        DroppedFiles::TakeVideos);
    EXPECT_EQ(jobs_.folderJobs.front().root, at("one"));
    ASSERT_EQ(jobs_.videoJobs.size(), 2u);
    EXPECT_EQ(jobs_.videoJobs[0].root, at("two/"));
    EXPECT_EQ(jobs_.videoJobs[1].path + " " + jobs_.videoJobs[1].root, at("clip.avi") + " " + root_);
    EXPECT_EQ(result_.refused, Strings{at("walk1.bmp")});
}

// Only the folders' own files: sub-folders, linked or not, are neither
// searched nor looked at, and a folder given twice still counts once.
TEST_F(Intake, AFolderOnlyDropLeavesSubFoldersAlone) {
    files({"w1.bmp", "w2.bmp", "clip.avi", "sub/s1.bmp", "sub/deeper/d1.png", "locked/l1.bmp"});
    fs::create_directory_symlink(at("sub"), at("link"));
    if (::geteuid() != 0) lock("locked");
    EXPECT_EQ(dropRows({"", ""}, FolderDepth::FolderOnly), (Strings{"w(1 - 2).bmp", "clip.avi"}));
    EXPECT_TRUE(result_.unlisted.empty());
    EXPECT_EQ(dropRows({"", "sub"}, FolderDepth::FolderOnly),
              (Strings{"w(1 - 2).bmp", "sub/s(1 - 1).bmp", "clip.avi"}));
}

}  // namespace
}  // namespace vantrel::test
