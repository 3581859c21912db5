#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "convert/BatchPlan.h"
#include "convert/JobIntake.h"
#include "convert/PlayerLimits.h"
#include "support/Faults.h"
#include "support/Jobs.h"
#include "support/ScratchDir.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

// A plan's job in one line, its paths relative to `base`:
// "walk(1 - 2).bmp -> walk.swf | walk.html | mp3 walk.mp3" or
// "clip.mpeg -> clip.swf | skipped duplicate-movie".
std::string describe(const PlannedJob& job, const fs::path& base) {
    const auto relative = [&](const std::string& path) {
        return path.empty() ? std::string("-") : fs::path(path).lexically_relative(base).string();
    };
    std::string line = relative(job.source) + " -> " + relative(job.moviePath) + " | ";
    if (job.refusal) {
        return line + std::string(statusName(job.refusal->status)) + " " +
               std::string(faultCodeName(job.refusal->fault.code));
    }
    line += relative(job.pagePath) + " | ";
    switch (job.sound.choice) {
        case PlannedSound::Choice::Companion: return line + "mp3 " + relative(job.sound.companion);
        case PlannedSound::Choice::VideoOwn: return line + "own";
        case PlannedSound::Choice::NoCompanion: return line + "none";
        case PlannedSound::Choice::VideoSoundOff: return line + "off";
    }
    return line;
}

// Folder listings and options, and the plan they give. The files are empty:
// planning reads names and metadata, never pictures.
TEST(BatchPlan, ListingsAndOptionsGiveThePlan) {
    struct Case {
        const char* what;
        std::vector<std::string> files;  // under "in"; those under "out" exist already
        std::function<void(ConvertSettings&)> options;
        std::vector<std::string> plan;
    };
    const auto none = [](ConvertSettings&) {};
    const Case cases[] = {
        {"a sequence with its sound",
         {"walk001.bmp", "walk002.bmp", "walk.mp3"},
         none,
         {"in/walk(001 - 002).bmp -> in/walk.swf | in/walk.html | mp3 in/walk.mp3"}},
        {"companions in another letter case: the exact spelling, else the first in byte order",
         {"a1.bmp", "A.MP3", "b1.png", "b.mp3", "B.mp3", "c1.tga", "C.mp3", "c.MP3"},
         [](ConvertSettings& s) { s.outputHtml = false; },
         {"in/c(1 - 1).tga -> in/c.swf | - | mp3 in/C.mp3",
          "in/a(1 - 1).bmp -> in/a.swf | - | mp3 in/A.MP3",
          "in/b(1 - 1).png -> in/b.swf | - | mp3 in/b.mp3"}},
        {"an output folder mirrors the tree; sounds stay beside the sources",
         {"x/walk1.jpg", "x/walk.mp3", "x/y/clip.mkv"},
         [](ConvertSettings& s) { s.outputFolder = "OUT"; },
         {"in/x/walk(1 - 1).jpg -> out/x/walk.swf | out/x/walk.html | mp3 in/x/walk.mp3",
          "in/x/y/clip.mkv -> out/x/y/clip.swf | out/x/y/clip.html | own"}},
        {"kept movies, beside the sources and under an output folder",
         {"walk1.bmp", "walk.swf", "run1.bmp"},
         [](ConvertSettings& s) { s.replaceMovies = false; },
         {"in/run(1 - 1).bmp -> in/run.swf | in/run.html | none",
          "in/walk(1 - 1).bmp -> in/walk.swf | skipped movie-exists"}},
        {"kept movies under an output folder",
         {"walk1.bmp", "run1.bmp", "../out/walk.swf"},
         [](ConvertSettings& s) {
             s.replaceMovies = false;
             s.outputFolder = "OUT";
         },
         {"in/run(1 - 1).bmp -> out/run.swf | out/run.html | none",
          "in/walk(1 - 1).bmp -> out/walk.swf | skipped movie-exists"}},
        {"two videos with one movie name; a video beside its sequence",
         {"clip.avi", "clip.mpeg", "clip001.bmp"},
         none,
         {"in/clip(001 - 001).bmp -> in/clip.swf | in/clip.html | none",
          "in/clip.avi -> in/clip.swf | skipped duplicate-movie",
          "in/clip.mpeg -> in/clip.swf | skipped duplicate-movie"}},
        {"a video's companions: clip.avi.mp3 first, then clip.mp3, else its own sound",
         {"a.avi", "a.avi.mp3", "a.mp3", "b.mp4", "B.MP3", "c.mov"},
         none,
         {"in/a.avi -> in/a.swf | in/a.html | mp3 in/a.avi.mp3",
          "in/b.mp4 -> in/b.swf | in/b.html | mp3 in/B.MP3",
          "in/c.mov -> in/c.swf | in/c.html | own"}},
        {"a video without companion whose own sound is not wanted",
         {"c.webm"},
         [](ConvertSettings& s) { s.videoSound = false; },
         {"in/c.webm -> in/c.swf | in/c.html | off"}},
        {"pictures named by number alone take their folder's name",
         {"pics/0001.png", "pics/0002.png", "pics/pics.mp3"},
         none,
         {"in/pics/(0001 - 0002).png -> in/pics/pics.swf | in/pics/pics.html | mp3 "
          "in/pics/pics.mp3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir scratch;
        const fs::path base = scratch.path();
        for (const std::string& name : c.files) {
            fs::create_directories((base / "in" / name).parent_path());
            std::ofstream(base / "in" / name);
        }
        JobList jobs;
        dropPaths(jobs, {(base / "in").string()});
        ConvertSettings settings;
        c.options(settings);
        if (settings.outputFolder == "OUT") settings.outputFolder = (base / "out").string();
        std::vector<std::string> plan;
        for (const PlannedJob& job : planBatch(jobs, settings).jobs) {
            plan.push_back(describe(job, base));
        }
        EXPECT_EQ(plan, c.plan);
    }
}

// The limits of a movie refuse a sequence before any picture is read; the
// job that refuses keeps its movie's name from the jobs after it.
TEST(BatchPlan, SequencesAMovieCannotHoldAreRefused) {
    JobList jobs;
    jobs.folderJobs.push_back(sequenceJob("/nowhere/empty", "bmp", {}));
    FolderJob huge = sequenceJob("/nowhere/huge", "bmp", {});
    for (int k = 1; k <= kMaxPictureFrames + 1; ++k) {
        huge.pictures.push_back({std::to_string(k), "bmp"});
    }
    jobs.folderJobs.push_back(huge);
    jobs.videoJobs.push_back({"/nowhere/huge.avi"});
    const BatchPlan plan = planBatch(jobs, ConvertSettings{});
    ASSERT_EQ(plan.jobs.size(), 3u);
    ASSERT_TRUE(plan.jobs[0].refusal);
    EXPECT_EQ(plan.jobs[0].refusal->status, JobOutcome::Status::Skipped);
    EXPECT_EQ(brief(plan.jobs[0].refusal->fault), "no-pictures");
    ASSERT_TRUE(plan.jobs[1].refusal);
    EXPECT_EQ(plan.jobs[1].refusal->status, JobOutcome::Status::Failed);
    EXPECT_EQ(brief(plan.jobs[1].refusal->fault), "too-many-frames 32768");
    ASSERT_TRUE(plan.jobs[2].refusal);
    EXPECT_EQ(plan.jobs[2].refusal->fault.code, FaultCode::DuplicateMovie);
    EXPECT_EQ(plan.jobs[2].refusal->fault.path, "/nowhere/huge.swf");
    EXPECT_EQ(plan.jobs[2].refusal->fault.other, "/nowhere/huge(1 - 32768).bmp");
}

// A dry run's report: the planned jobs with their paths, sounds and picture
// counts, the refused ones as the real run reports them. A video whose
// header is not read is planned with its own sound; one whose header cannot
// be read fails as the real run fails to open it.
TEST(BatchPlan, TheDryRunReportStatesThePlan) {
    JobList jobs;
    jobs.folderJobs.push_back(sequenceJob("/nowhere/walk", "png", {"1", "2", "3"}));
    jobs.videoJobs.push_back({"/nowhere/clip.avi"});
    jobs.videoJobs.push_back({"/nowhere/walk.mkv"});
    const JobOutcome unopened = plannedReport(planBatch(jobs, ConvertSettings{})).jobs.at(1);
    EXPECT_EQ(unopened.status, JobOutcome::Status::Failed);
    EXPECT_EQ(unopened.source, "/nowhere/clip.avi");
    EXPECT_EQ(unopened.fault,
              Fault(FaultCode::Unreadable, FaultStep::OpenVideo, "/nowhere/clip.avi"));
    const ConvertReport report =
        plannedReport(planBatch(jobs, ConvertSettings{}, VideoHeaders::Unread));
    ASSERT_EQ(report.jobs.size(), 3u);
    EXPECT_EQ(outcomeLine(report.jobs[0], commandLineName),
              "planned /nowhere/walk(1 - 3).png -> /nowhere/walk.swf (3 pictures, no sound, page "
              "/nowhere/walk.html)");
    EXPECT_EQ(outcomeLine(report.jobs[1], commandLineName),
              "planned /nowhere/clip.avi -> /nowhere/clip.swf (the video's own sound, page "
              "/nowhere/clip.html)");
    Fault duplicate(FaultCode::DuplicateMovie, FaultStep::StartJob, "/nowhere/walk.swf");
    duplicate.other = "/nowhere/walk(1 - 3).png";
    EXPECT_EQ(report.jobs[2].status, JobOutcome::Status::Skipped);
    EXPECT_EQ(report.jobs[2].source, "/nowhere/walk.mkv");
    EXPECT_EQ(report.jobs[2].fault, duplicate);
    EXPECT_FALSE(isProblem(report.jobs[0]));
    EXPECT_TRUE(isProblem(report.jobs[2]));
}

// A cut keeps a sequence's pictures of that part, picture k at k / rate, and
// starts (and ends) its sound where they do; a part past the pictures' end or
// shorter than a frame refuses the job.
TEST(BatchPlan, ACutKeepsASequencesPartAndItsSound) {
    std::vector<std::string> numbers;
    for (int k = 1; k <= 30; ++k) numbers.push_back(std::to_string(k));
    const struct {
        double start;
        std::optional<double> end;
        std::string first, last;  // pictures kept; empty: refused, with this fault
        double soundStart;
        std::optional<double> soundEnd;
    } cases[] = {
        {2, {}, "21", "30", 2.0, {}},
        {2.55, 4, "26", "30", 2.5, 3.0},
        {0, 0.8, "1", "8", 0.0, 0.8},
        {3, {}, "", "start-past-end 3 3", 0, {}},
        {1, 1.05, "", "too-short 10", 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        JobList jobs;
        jobs.folderJobs.push_back(sequenceJob("/nowhere/walk", "png", numbers));
        ConvertSettings settings;
        settings.frameRate = 10.0f;
        settings.cutStart = c.start;
        settings.cutEnd = c.end;
        const PlannedJob job = planBatch(jobs, settings).jobs.at(0);
        if (c.first.empty()) {
            ASSERT_TRUE(job.refusal);
            EXPECT_EQ(brief(job.refusal->fault), c.last);
            continue;
        }
        ASSERT_FALSE(job.refusal);
        EXPECT_EQ(job.sequence()->pictures.front().number, c.first);
        EXPECT_EQ(job.sequence()->pictures.back().number, c.last);
        EXPECT_EQ(job.source, "/nowhere/walk(1 - 30).png");
        EXPECT_DOUBLE_EQ(job.sound.start, c.soundStart);
        EXPECT_EQ(job.sound.end.has_value(), c.soundEnd.has_value());
        if (c.soundEnd) {
            EXPECT_DOUBLE_EQ(*job.sound.end, *c.soundEnd);
        }
    }
}

// The limits past which players play a movie badly, each warned of.
TEST(BatchPlan, PlayerLimitsAreWarnedOf) {
    const struct {
        MovieShape movie;
        std::vector<FaultCode> codes;
    } cases[] = {
        {{60.0f, 16000, 4096, 4096, 50'000'000}, {}},
        {{60.01f, 16001, 4097, 10, 50'000'001},
         {FaultCode::ManyFrames, FaultCode::LargeStage, FaultCode::FastRate,
          FaultCode::LargeMovie}},
        {{15.0f, {}, 10, 5000, {}}, {FaultCode::LargeStage}},
        {{15.0f, 20000, {}, {}, 3'000'000'000}, {FaultCode::ManyFrames, FaultCode::LargeMovie}},
    };
    for (const auto& c : cases) {
        std::vector<FaultCode> codes;
        for (const Fault& warning : playerWarnings(c.movie)) codes.push_back(warning.code);
        EXPECT_EQ(codes, c.codes);
    }
}

// A video's movie frames at 10 frames per second from where its pictures
// end and its length, as the real run counts them, or its refusal.
TEST(BatchPlan, AVideosMovieFramesFollowItsLengthAndTheCut) {
    const struct {
        double start;
        std::optional<double> end;
        double picturesEnd, length;
        std::int32_t frames;  // 0: refused with this fault
        const char* refusal;
    } cases[] = {
        {0, {}, 1.96, 1.96, 19, ""},
        {0.3, 0.7, 1.96, 1.96, 4, ""},
        {1.96, {}, 1.96, 1.96, 0, "start-past-end clip.avi 1.96 1.96"},
        {0, {}, 0.05, 0.05, 0, "too-short clip.avi 10"},
        {0, {}, 3600, 3600, 0, "too-many-frames clip.avi 10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        ConvertSettings settings;
        settings.frameRate = 10.0f;
        settings.cutStart = c.start;
        settings.cutEnd = c.end;
        const auto planned = videoMovieFrames(settings, c.picturesEnd, c.length, "/v/clip.avi");
        if (c.frames > 0) {
            EXPECT_EQ(std::get<std::int32_t>(planned), c.frames);
        } else {
            EXPECT_EQ(brief(std::get<Refusal>(planned).fault), c.refusal);
        }
    }
}

// A dry run warns of what the plan knows: the rate, a sequence's frames, and
// a video's frames and stage as its header tells.
TEST(BatchPlan, TheDryRunWarnsOfRatesAndFramesPlayersCannotKeep) {
    JobList jobs;
    FolderJob many = sequenceJob("/nowhere/many", "bmp", {});
    for (int k = 1; k <= kPlayerMaxFrames + 1; ++k) {
        many.pictures.push_back({std::to_string(k), "bmp"});
    }
    jobs.folderJobs.push_back(many);
    jobs.videoJobs.push_back({std::string(VANTREL_TEST_DATA) + "/video/mpeg4.avi"});
    ConvertSettings settings;
    settings.frameRate = 100.0f;
    const ConvertReport report = plannedReport(planBatch(jobs, settings));
    ASSERT_EQ(report.jobs.size(), 2u);
    const auto codes = [](const JobOutcome& job) {
        std::vector<FaultCode> found;
        for (const Fault& warning : job.warnings) found.push_back(warning.code);
        return found;
    };
    EXPECT_EQ(codes(report.jobs[0]),
              (std::vector<FaultCode>{FaultCode::ManyFrames, FaultCode::FastRate}));
    EXPECT_EQ(codes(report.jobs[1]), std::vector<FaultCode>{FaultCode::FastRate});
}

// Where movies go: beside a sequence under its name, or under its folder's
// when the pictures are named by their number alone (rather than a hidden
// ".swf"); beside a video under its name; under an output folder at their
// place below the dropped folder.
TEST(BatchPlan, MoviePaths) {
    const std::pair<std::string, std::string> cases[] = {
        {sequenceMoviePath(sequenceJob("/a/walk", "bmp", {"1"})), "/a/walk.swf"},
        {sequenceMoviePath(sequenceJob("/a/pics/./", "bmp", {"1"})), "/a/pics/./pics.swf"},
        {sequenceMoviePath(sequenceJob("/", "bmp", {"1"})), "/movie.swf"},
        {videoMoviePath("/v/clip.avi"), "/v/clip.swf"},
        {videoMoviePath("/v.x/clip.mpeg"), "/v.x/clip.swf"},
        {videoMoviePath("/v.x/clip"), "/v.x/clip.swf"},
        // movie beside its source, dropped folder, output folder
        {outputMoviePath("/src/a/b/walk.swf", "/src", "/out"), "/out/a/b/walk.swf"},
        {outputMoviePath("/src/a/walk.swf", "/src//", "out/"), "out/a/walk.swf"},
        {outputMoviePath("./a/walk.swf", ".", "/out"), "/out/a/walk.swf"},
        {outputMoviePath("in/clip.swf", "in", "/out"), "/out/clip.swf"},
        {outputMoviePath("clip.swf", "", "/out"), "/out/clip.swf"},
        {outputMoviePath("/elsewhere/clip.swf", "/src", "/out"), "/out/clip.swf"},
        {outputMoviePath("/src/walk.swf", "/src", ""), "/src/walk.swf"},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(path, expected);
}

TEST(BatchPlan, CompanionsAreFoundWhateverTheirLetterCase) {
    struct Case {
        std::vector<std::string> files;  // a name ending in "/" is a folder
        bool video;                      // the movie of clip.avi, else walk.swf
        std::string found;
    };
    const Case cases[] = {
        {{"WALK.MP3"}, false, "WALK.MP3"},
        {{"Walk.Mp3", "WALK.MP3", "walk.mp3"}, false, "walk.mp3"},
        {{"Walk.Mp3", "WALK.MP3"}, false, "WALK.MP3"},
        {{"walks.mp3", "walk.mp3.txt", "WALK.MP3/"}, false, ""},
        {{"Clip.MP3"}, true, "Clip.MP3"},
        {{"clip.mp3", "CLIP.AVI.MP3"}, true, "CLIP.AVI.MP3"},
        {{"clip.mp3", "clip.avi.mp3/"}, true, "clip.mp3"},
    };
    ScratchDir scratch;
    int n = 0;
    for (const Case& c : cases) {
        const fs::path folder = scratch.path() / std::to_string(n++);
        fs::create_directory(folder);
        for (const std::string& name : c.files) {
            if (name.back() == '/') {
                fs::create_directory(folder / name);
            } else {
                std::ofstream(folder / name) << "x";
            }
        }
        const std::string found = c.video ? videoSoundPath((folder / "clip.avi").string())
                                          : sequenceSoundPath((folder / "walk.swf").string());
        EXPECT_EQ(found, c.found.empty() ? "" : (folder / c.found).string()) << n;
    }
}

}  // namespace
}  // namespace vantrel::test
