#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "convert/ConvertDriver.h"
#include "support/Batch.h"
#include "support/Bytes.h"
#include "support/FakeFrameSource.h"
#include "support/Faults.h"
#include "support/Inputs.h"
#include "support/Jobs.h"
#include "support/SwfFile.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

class Driver : public FakeVideoTest {
  protected:
    // The jobs planned and carried out, as a front end does with a batch.
    ConvertReport run(const JobList& jobs, ConvertObserver* observer = nullptr,
                      const FrameSourceFactory& makeFrameSource = {}, unsigned threads = 0) {
        return carryOut(planBatch(jobs, settings_, VideoHeaders::Unread), settings_, observer,
                        makeFrameSource, threads);
    }
};

// Frames are read and encoded on several threads, finishing out of order;
// the movies must not show it.
TEST_F(Driver, MoviesDoNotDependOnTheNumberOfThreads) {
    const char* pictures[] = {"red4x3.tga", "blue4x3.bmp", "green6x5.bmp"};
    for (int i = 1; i <= 40; ++i) {
        const std::string from = pictures[i % 3];
        copy("convert/" + from, "seq" + std::to_string(i) + from.substr(from.size() - 4));
    }
    copy("convert/tone.mp3", "seq.mp3");
    copy("video/mpeg4.avi", "clip.avi");
    const JobList jobs = queued();
    ASSERT_EQ(jobs.folderJobs.size(), 1u);
    ASSERT_EQ(jobs.videoJobs.size(), 1u);

    const std::pair<CompressionType, bool> storages[] = {{CompressionType::Jpeg, false},
                                                         {CompressionType::Jpeg, true},
                                                         {CompressionType::Lossless, false},
                                                         {CompressionType::Lossless, true}};
    for (const auto& [compression, alpha] : storages) {
        settings_.compression = compression;
        settings_.includeAlpha = alpha;
        std::map<std::string, Bytes> first;
        for (unsigned threads : {1u, 2u, 8u}) {
            for (const JobOutcome& job : run(jobs, nullptr, {}, threads).jobs) {
                ASSERT_EQ(job.status, JobOutcome::Status::Converted) << job.source << reasonOf(job);
                const Bytes movie = readFile(job.outputPath);
                if (threads == 1) {
                    first[job.outputPath] = movie;
                } else {
                    EXPECT_EQ(movie, first[job.outputPath])
                        << job.outputPath << " with " << threads << " threads, alpha " << alpha
                        << ", compression " << int(compression);
                }
            }
        }
    }
}

// Videos made by the ffmpeg program with B-frames where the codec has them,
// and with sound: H.264 and VP9 decode on threads of their own, MPEG-4 and
// MPEG-2 on one. Damaged MJPEG frames decode partly, and their rest must not
// show whichever earlier frame's buffer the decoder was given back.
struct ThreadedCodec {
    const char* file;
    const char* options;
    CompressionType compression = CompressionType::Jpeg;
};
const ThreadedCodec kThreadedCodecs[] = {
    {"h264.mp4", "-c:v libx264 -bf 3 -g 12 -pix_fmt yuv420p -c:a aac"},
    {"mpeg4.avi", "-c:v mpeg4 -bf 2 -g 12 -q:v 4 -c:a libmp3lame"},
    {"vp9.webm", "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 12 -c:a libopus"},
    {"mpeg2.mpg", "-c:v mpeg2video -bf 2 -g 12 -q:v 4 -c:a mp2"},
    {"mjpeg.avi", "-c:v mjpeg -c:a pcm_s16le"},
    {"mjpeg.avi", "-c:v mjpeg -c:a pcm_s16le", CompressionType::Lossless},
};

// The movie and the outcome's lines of one conversion.
struct Converted {
    Bytes movie;
    std::vector<std::string> lines;
    bool operator==(const Converted&) const = default;
};

class ThreadedDecode : public Driver {
  protected:
    // Makes the video of 60 frames with two seconds of sound; when `damage`,
    // every third video packet damaged.
    void make(const ThreadedCodec& codec, bool damage) {
        for (const auto& entry : fs::directory_iterator(dir_)) fs::remove_all(entry.path());
        const fs::path clip = dir_ / codec.file;
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=size=160x96:rate=25 -f lavfi -i "
                   "sine=frequency=440:sample_rate=44100 -t 2.4 " +
                       std::string(codec.options),
                   clip));
        if (damage) {
            ASSERT_GE(damageEveryThirdPacket(clip.string()), 50u) << codec.file;
        }
    }
    Converted convertOn(unsigned threads) {
        const JobOutcome job = run(queued(), nullptr, {}, threads).jobs.at(0);
        Converted converted{{}, warningLines(job, commandLineName)};
        converted.lines.push_back(outcomeLine(job, commandLineName));
        for (const Fault& missing : job.missingPictures) converted.lines.push_back(words(missing));
        const fs::path movie = fs::path(job.source).replace_extension(".swf");
        if (job.status == JobOutcome::Status::Converted) converted.movie = readFile(movie);
        return converted;
    }
};

// At 25 frames per second every frame is shown; at 10 frames are passed
// over. Damaged or not, the movies equal those of one thread.
TEST_F(ThreadedDecode, MoviesDoNotDependOnTheNumberOfThreads) {
    settings_.outputHtml = false;
    for (const ThreadedCodec& codec : kThreadedCodecs) {
        settings_.compression = codec.compression;
        for (const bool damage : {false, true}) {
            make(codec, damage);
            for (const float rate : {25.0f, 10.0f}) {
                settings_.frameRate = rate;
                const Converted one = convertOn(1);
                if (!damage) {
                    ASSERT_FALSE(one.movie.empty()) << codec.file;
                }
                for (const unsigned threads : {2u, 8u}) {
                    EXPECT_TRUE(convertOn(threads) == one)
                        << codec.file << (damage ? " damaged" : "") << ", " << rate << " fps, "
                        << threads << " threads, compression " << int(codec.compression);
                }
            }
        }
    }
}

// However the path to it is spelled.
TEST_F(Driver, JobsWhoseMoviesShareAFileKeepTheFirst) {
    copy("convert/red4x3.bmp", "clip1.bmp");
    fs::create_directory_symlink(dir_, dir_ / "link");
    JobList jobs;
    for (const fs::path& prefix : {dir_ / "clip", dir_ / "." / "clip", dir_ / "link" / "clip",
                                   dir_ / "gone" / ".." / "clip"}) {
        jobs.folderJobs.push_back(sequenceJob(prefix.string(), "bmp", {"1"}));
    }
    jobs.videoJobs.push_back({(dir_ / "clip.avi").string()});
    jobs.videoJobs.push_back({(dir_ / "link" / "clip.mpeg").string()});
    int opened = 0;
    const ConvertReport report = run(jobs, nullptr, [&]() -> std::unique_ptr<FrameSource> {
        ++opened;
        return nullptr;
    });
    ASSERT_EQ(report.jobs.size(), 6u);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Converted);
    for (std::size_t j = 1; j < report.jobs.size(); ++j) {
        EXPECT_EQ(report.jobs[j].status, JobOutcome::Status::Skipped) << j;
        ASSERT_TRUE(report.jobs[j].fault);
        EXPECT_EQ(report.jobs[j].fault->code, FaultCode::DuplicateMovie) << j;
        EXPECT_EQ(report.jobs[j].fault->other, report.jobs[0].source) << j;
    }
    EXPECT_EQ(report.jobs[5].fault->path, (dir_ / "link" / "clip.swf").string());
    EXPECT_EQ(opened, 0);
}

// The first job to write into a folder removes the temporary files killed
// runs left there over an hour ago: regular files of exactly their names,
// of this user. Each removal is a warning of that job.
TEST_F(Driver, StrayTemporariesOfKilledRunsAreRemoved) {
    // Path; file, directory, link or file of another user; minutes old; removed.
    const std::tuple<std::string, char, int, bool> cases[] = {
        {"a/.vantrel-0123abcd.tmp", 'f', 61, true},   {"b/.vantrel-ffffffff.tmp", 'f', 600, true},
        {"a/.vantrel-89abcdef.tmp", 'f', 59, false},  {"a/.vantrel-0123ABCD.tmp", 'f', 600, false},
        {"a/.vantrel-0123abc.tmp", 'f', 600, false},  {"a/.vantrel-22222222.tmp", 'd', 600, false},
        {"a/.vantrel-33333333.tmp", 'l', 600, false}, {"a/.vantrel-44444444.tmp", 'u', 600, false},
    };
    for (const char* name : {"a/x1.bmp", "a/y1.bmp", "b/z1.bmp"}) copy("convert/red4x3.bmp", name);
    for (const auto& [name, kind, minutes, removed] : cases) {
        const fs::path path = dir_ / name;
        if (kind == 'd') fs::create_directory(path);
        if (kind == 'l') fs::create_symlink("x1.bmp", path);
        if (kind == 'f' || kind == 'u') std::ofstream(path) << "half a movie";
        // Only root can give a file away.
        if (kind == 'u' && ::lchown(path.c_str(), ::geteuid() + 1, -1) != 0) continue;
        const timespec old{std::time(nullptr) - 60 * minutes, 0};
        const timespec times[] = {old, old};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << name;
    }
    std::vector<std::vector<std::string>> warned;
    for (const JobOutcome& job : run(queued()).jobs) {
        warned.emplace_back();
        for (const Fault& warning : job.warnings) {
            warned.back().push_back(std::string(faultCodeName(warning.code)) + " " + warning.path);
        }
    }
    const std::string removed = faultCodeName(FaultCode::TempRemoved).data();
    EXPECT_EQ(warned, (std::vector<std::vector<std::string>>{
                          {removed + " " + (dir_ / "a/.vantrel-0123abcd.tmp").string()},
                          {},
                          {removed + " " + (dir_ / "b/.vantrel-ffffffff.tmp").string()}}));
    for (const auto& [name, kind, minutes, removed] : cases) {
        EXPECT_EQ(fs::exists(fs::symlink_status(dir_ / name)), !removed) << name;
    }
}

// A job the plan refuses is reported as refused, and nothing is read or
// written for it.
TEST_F(Driver, MorePicturesThanIdsAreRefusedBeforeAnyWork) {
    FolderJob job{(dir_ / "many").string(), "bmp", {}};
    for (int i = 1; i <= 32768; ++i) job.pictures.push_back({std::to_string(i), "bmp"});
    const ConvertReport report = run({{job}, {}});
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Failed);
    ASSERT_TRUE(report.jobs[0].fault);
    EXPECT_EQ(brief(*report.jobs[0].fault), "too-many-frames 32768");
    EXPECT_FALSE(fs::exists(dir_ / "many.swf"));
}

// Stops the batch once the given job has added the given number of frames.
class StoppingObserver : public ConvertObserver {
  public:
    StoppingObserver(std::size_t job, std::int32_t frames) : stopJob_(job), stopFrames_(frames) {}
    void jobStarted(std::size_t job, std::size_t, const std::string&,
                    const std::string& moviePath) override {
        job_ = job;
        movies.push_back(moviePath);
        events.push_back("start " + std::to_string(job));
    }
    void jobFinished(std::size_t job, const JobOutcome&) override {
        events.push_back("end " + std::to_string(job));
    }
    void frameAdded(std::int32_t done, std::int32_t) override { done_ = done; }
    bool stopRequested() override { return job_ == stopJob_ && done_ >= stopFrames_; }

    std::vector<std::string> movies;
    std::vector<std::string> events;

  private:
    std::size_t stopJob_;
    std::int32_t stopFrames_;
    std::size_t job_ = 0;
    std::int32_t done_ = 0;
};

TEST_F(Driver, StopKeepsEarlierMoviesAndWritesNothingOfTheCurrentOne) {
    copy("convert/red4x3.bmp", "x1.bmp");
    JobList jobs = queued();
    jobs.videoJobs.push_back({(dir_ / "clip.avi").string()});
    jobs.videoJobs.push_back({(dir_ / "later.avi").string()});
    StoppingObserver observer(1, 2);
    // One thread, so no frame is grabbed ahead of the stop.
    const ConvertReport report = run(jobs, &observer, fakeSources({1.0, 25}, log_), 1);

    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(observer.movies,
              (std::vector<std::string>{(dir_ / "x.swf").string(), (dir_ / "clip.swf").string()}));
    ASSERT_EQ(report.jobs.size(), 3u);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Converted);
    // The current job stopped before its movie was written, the next not started.
    for (const auto& [k, step] : {std::pair{1, FaultStep::MakeMovie}, {2, FaultStep::StartJob}}) {
        EXPECT_EQ(report.jobs[k].status, JobOutcome::Status::Stopped);
        ASSERT_TRUE(report.jobs[k].fault);
        EXPECT_EQ(report.jobs[k].fault->code, FaultCode::Stopped);
        EXPECT_EQ(report.jobs[k].fault->step, step) << k;
    }
    // Each outcome is told as soon as it is known, also for the job never started.
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"start 0", "end 0", "start 1", "end 1", "end 2"}));
    EXPECT_EQ(log_.grabbed.size(), 2u);
    // The folder holds the picture and the first job's movie and page only.
    EXPECT_EQ(scratch_.entries(), 3u);
    EXPECT_TRUE(fs::exists(dir_ / "x.swf"));
}

// A frame that cannot be held in memory fails its job; nothing of the movie
// is left behind.
TEST_F(Driver, AFailureInTheMiddleOfAMovieLeavesNoFile) {
    const JobList jobs{{}, {{(dir_ / "clip.avi").string()}}};
    for (unsigned threads : {1u, 3u}) {
        const ConvertReport report =
            run(jobs, nullptr, fakeSources({2.0, 50, -1, 13}, log_), threads);
        ASSERT_EQ(report.jobs.size(), 1u);
        EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Failed);
        ASSERT_TRUE(report.jobs[0].fault);
        EXPECT_EQ(report.jobs[0].fault->code, FaultCode::OutOfMemory);
        EXPECT_EQ(report.jobs[0].fault->step, FaultStep::MakeMovie);
        EXPECT_EQ(report.jobs[0].fault->detail, "");
        EXPECT_EQ(scratch_.entries(), 0u) << threads;
    }
}

// A file that stops growing halfway (here a file size limit, as a full disk
// would) fails the job at once and leaves nothing behind.
TEST_F(Driver, AMovieThatCannotBeWrittenToTheEndFailsAndLeavesNothing) {
    settings_.frameRate = 100.0f;
    settings_.compression = CompressionType::Lossless;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const ConvertReport report =
        run({{}, {{(dir_ / "clip.avi").string()}}}, nullptr, fakeSources({20.0, 500}, log_));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_EQ(report.jobs.size(), 1u);
    EXPECT_EQ(report.jobs[0].status, JobOutcome::Status::Failed);
    ASSERT_TRUE(report.jobs[0].fault);
    EXPECT_EQ(report.jobs[0].fault->step, FaultStep::WriteFile);
    EXPECT_EQ(report.jobs[0].fault->path, (dir_ / "clip.swf").string());
    EXPECT_EQ(report.jobs[0].fault->detail, std::strerror(EFBIG));
    EXPECT_LT(log_.grabbed.size(), 2000u);  // it did not go on to the end
    EXPECT_EQ(scratch_.entries(), 0u);
}

// The PSNR of a lossless picture against blue, green, red, alpha bytes.
double psnr(const LosslessPicture& picture, const Bytes& bgra) {
    if (picture.argb.size() != bgra.size() || bgra.empty()) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < bgra.size(); ++i) {
        const double d = picture.argb[i] - bgra[i / 4 * 4 + 3 - i % 4];
        sum += d * d;
    }
    return sum == 0.0 ? INFINITY : 10.0 * std::log10(255.0 * 255.0 * bgra.size() / sum);
}

// Pictures and video frames larger than the box are scaled into it, the
// stage with them, as close to FFmpeg's scaler with the same filter as
// 40 dB: pictures premultiplied by alpha, each channel on its own; video
// frames in one call from their own colour format, then turned. A hard edge
// against transparent green leaves no green in the scaled edge. Those that
// fit keep every byte.
TEST_F(Driver, MaxSizeFitsPicturesAndVideosIntoTheBox) {
    const auto pictures = [](const char* size) {
        return std::string("format=gbrap,premultiply=inplace=1,scale=") + size +
               ":flags=lanczos+accurate_rnd+full_chroma_int+full_chroma_inp";
    };
    const auto video = [](const char* size) {
        return std::string("scale=") + size + ":flags=lanczos,format=bgr24";
    };
    const std::string edge =
        "-f lavfi -i color=size=61x33,format=rgba -vf \"geq=r='255*lt(X+2*Y,50)':"
        "g='255*gte(X+2*Y,50)':b=0:a='255*lt(X+2*Y,50)'\" -frames:v 1";
    const std::string clip = ":duration=0.2 -frames:v 5 -c:v ";
    const struct {
        const char* name;       // a folder of its own, and the file made in it
        std::string make;       // FFmpeg's arguments, or none for the test video
        int width, height;      // the stage; a source that fits keeps its size
        std::string reference;  // FFmpeg's filter, or none for the bytes unboxed
    } cases[] = {
        {"wide/walk1.png", "-f lavfi -i testsrc2=size=101x57,format=rgb24 -frames:v 1", 40, 23,
         pictures("40:23")},
        {"tall/walk1.png", "-f lavfi -i testsrc2=size=57x101,format=rgb24 -frames:v 1", 23, 40,
         pictures("23:40")},
        {"thin/walk1.png", "-f lavfi -i testsrc2=size=100x3,format=rgb24 -frames:v 1", 40, 1,
         pictures("40:1")},
        {"edge/walk1.png", edge, 40, 22, pictures("40:22")},
        {"one/walk1.png", "-f lavfi -i color=red:size=2x2,format=rgba,crop=1:1 -frames:v 1", 1, 1,
         ""},
        {"fits/walk1.png", "-f lavfi -i testsrc2=size=40x30 -frames:v 1", 40, 30, ""},
        {"wide/clip.mp4", "-f lavfi -i testsrc2=size=64x36" + clip + "libx264", 40, 23,
         video("40:23")},
        {"tall/clip.mkv", "-f lavfi -i testsrc2=size=36x64" + clip + "libx264", 23, 40,
         video("23:40")},
        // Shown 32 x 48: turned after scaling to 40 x 27.
        {"turned/turned90.mp4", "", 27, 40, video("40:27") + ",transpose=cclock"},
        {"fits/clip.avi", "-f lavfi -i testsrc2=size=40x24" + clip + "mpeg4", 40, 24, ""},
    };
    for (const auto& c : cases) {
        const fs::path path = dir_ / c.name;
        if (c.make.empty()) {
            copy("video/" + path.filename().string(), c.name);
        } else {
            fs::create_directories(path.parent_path());
            ASSERT_TRUE(ffmpeg(c.make, path)) << c.name;
        }
    }
    settings_.includeAlpha = true;
    settings_.compression = CompressionType::Lossless;
    std::map<std::string, Bytes> unboxed;
    for (const PictureBox box : {PictureBox{}, PictureBox{40, 40}}) {
        settings_.maxSize = box;
        run(queued());
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            const bool sequence = fs::path(c.name).extension() == ".png";
            const fs::path movie =
                (dir_ / c.name).parent_path() /
                (sequence ? "walk.swf" : fs::path(c.name).stem().string() + ".swf");
            if (!box.limits()) {
                unboxed[c.name] = readFile(movie);
                continue;
            }
            const SwfFile swf = readSwf(movie);
            ASSERT_TRUE(swf.valid);
            EXPECT_EQ(swf.width, c.width * 20);
            EXPECT_EQ(swf.height, c.height * 20);
            const std::vector<LosslessPicture> stored =
                losslessPictures(swf, tag::DefineBitsLossless2);
            ASSERT_FALSE(stored.empty());
            ASSERT_EQ(stored[0].width, c.width);
            ASSERT_EQ(stored[0].height, c.height);
            if (c.reference.empty()) {
                EXPECT_EQ(readFile(movie), unboxed[c.name]);
                continue;
            }
            const fs::path reference = dir_ / "reference.bgra";
            ASSERT_TRUE(ffmpeg("-noautorotate -i '" + (dir_ / c.name).string() + "' -vf " +
                                   c.reference + " -frames:v 1 -pix_fmt bgra -f rawvideo",
                               reference));
            EXPECT_GE(psnr(stored[0], readFile(reference)), 40.0);
            if (std::string(c.name).find("edge") == 0) {
                for (std::size_t i = 2; i < stored[0].argb.size(); i += 4) {
                    ASSERT_EQ(stored[0].argb[i], 0) << "green at pixel " << i / 4;
                }
            }
        }
    }
}

}  // namespace
}  // namespace vantrel::test
