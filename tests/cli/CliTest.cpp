#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "support/Bytes.h"
#include "support/ScratchDir.h"
#include "support/SwfFile.h"
#include "support/TooDeepFolder.h"
#include "support/Tools.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(VANTREL_TEST_DATA) / "convert";

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir_ / "in"); }

    CliRun run(const std::vector<std::string>& args) {
        std::string command = quoted(VANTREL_CLI);
        for (const std::string& a : args) command += " " + quoted(a);
        return runShell(command);
    }
    // Runs a bash command line in the scratch folder.
    CliRun runBash(const std::string& line) {
        return runShell("cd " + quoted(dir_.string()) + " && bash -c " + quoted(line));
    }
    CliRun runShell(std::string command) {
        command += " >" + quoted((dir_ / "out").string()) + " 2>" + quoted((dir_ / "err").string()) +
                   " </dev/null";
        CliRun r;
        const int raw = std::system(command.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(dir_ / "out");
        r.err = slurp(dir_ / "err");
        return r;
    }
    void copy(const std::string& from, const std::string& to) {
        fs::copy_file(kData / from, dir_ / "in" / to, fs::copy_options::overwrite_existing);
    }
    std::string in(const std::string& name) const { return (dir_ / "in" / name).string(); }

    ScratchDir scratch_;
    const fs::path dir_ = scratch_.path();
};

TEST_F(CliTest, ConvertsWithTheDefaults) {
    copy("red4x3.bmp", "walk1.bmp");
    copy("blue4x3.bmp", "walk2.bmp");
    copy("tone.mp3", "walk.mp3");
    const CliRun r = run({in("")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("converted " + in("walk(1 - 2).bmp") + " -> " + in("walk.swf") +
                         " (2 frames, sound " + in("walk.mp3") + ", page " + in("walk.html") + ")"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "");  // no progress display when stderr is not a terminal
    const SwfFile swf = readSwf(in("walk.swf"));
    ASSERT_TRUE(swf.valid);
    EXPECT_EQ(swf.frameCount, 2);
    EXPECT_EQ(swf.tags[0].code, 21);  // DefineBitsJPEG2
    EXPECT_EQ(swf.count(14), 1u);     // DefineSound
    EXPECT_TRUE(fs::exists(in("walk.html")));
}

TEST_F(CliTest, LosslessAlphaRateAndNoPage) {
    copy("red4x3.tga", "a1.tga");
    const CliRun r = run({"-l", "-a", "-r", "12.5", "--no-html", "-q", "40", in("")});
    EXPECT_EQ(r.status, 0) << r.err;
    const SwfFile swf = readSwf(in("a.swf"));
    ASSERT_TRUE(swf.valid);
    EXPECT_EQ(swf.tags[0].code, 36);  // DefineBitsLossless2
    EXPECT_EQ(swf.rate, 3200);
    EXPECT_FALSE(fs::exists(in("a.html")));
}

TEST_F(CliTest, RefusedItemsAreNamedAndTheRestConverted) {
    copy("red4x3.bmp", "x1.bmp");
    const CliRun r = run({in("x1.bmp"), in("")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(in("x1.bmp") + ": Select folder not file."), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(in("x.swf")));
}

TEST_F(CliTest, InvalidValuesStopBeforeAnythingIsScanned) {
    copy("red4x3.bmp", "x1.bmp");
    std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-q", "0"}, "Please enter an integer between 1 and 100."},
        {{"--quality", "abc"}, "Please enter an integer."},
        {{"-r", "300"}, "Please enter a number between 0.01 and 255."},
        {{"--rate", "fast"}, "Please enter a number."},
        {{"--start", "-2"}, "Please enter a number of seconds, 0 or more."},
        {{"--end", "soon"}, "Please enter a number."},
        {{"--end", "2", "--start", "3"}, "not after --start 3"},
        {{"--end", "0"}, "not after --start 0"},
        {{"--max-size", "0x360"}, "Please enter a width and height between 1 and 65535"},
        {{"--max-size", "640"}, "Please enter a width and height such as 640x360."},
        {{"--target-size", "5T"}, "Please enter a size in bytes, such as 800000, 800k or 5M"},
        {{"--target-size", "0"}, "Please enter a size between 1 byte and 4294967295 bytes"},
        {{"--target-size", "5M", "--lossless"}, "lossless pictures (--lossless) have no quality"},
    };
    // Every option that takes a value, as --help names them, refuses an
    // empty one in either spelling, as an unset shell variable gives it.
    const std::string help = run({"--help"}).out;
    const std::regex valued("(--[a-z-]+) [A-Z]");
    const std::size_t before = cases.size();
    for (std::sregex_iterator m(help.begin(), help.end(), valued), end; m != end; ++m) {
        for (const std::vector<std::string>& empty :
             {std::vector<std::string>{(*m)[1], ""}, {(*m)[1].str() + "="}}) {
            cases.emplace_back(empty, "an empty value: give one, or leave the option out");
        }
    }
    EXPECT_EQ(cases.size() - before, 2 * 10u) << help;
    for (const auto& [options, message] : cases) {
        std::vector<std::string> args = options;
        args.push_back(in(""));
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(options[0].substr(0, options[0].find('='))), std::string::npos)
            << r.err;
    }
    EXPECT_FALSE(fs::exists(in("x.swf")));
    for (const char* jobs : {"0", "many", "-2"}) {
        EXPECT_EQ(run({"--jobs", jobs, in("")}).status, 2) << jobs;
    }
    EXPECT_EQ(run({"--frobnicate", in("")}).status, 2);
    EXPECT_EQ(run({}).status, 2);
}

TEST_F(CliTest, ListPrintsRowsAndConvertsNothing) {
    copy("red4x3.bmp", "walk001.bmp");
    copy("red4x3.bmp", "walk012.bmp");
    fs::create_directories(dir_ / "in" / "sub");
    fs::copy_file(kData / "red4x3.jpg", dir_ / "in" / "sub" / "run7.jpg");
    std::ofstream(in("clip.avi")) << "not a video";
    const CliRun r = run({"--list", in("")});
    EXPECT_EQ(r.status, 0);
    // Each picture type is searched for in turn, then the videos.
    EXPECT_EQ(r.out, in("walk(001 - 012).bmp") + "\n" + in("sub/run(7 - 7).jpg") + "\n" +
                         in("clip.avi") + "\n");
    EXPECT_FALSE(fs::exists(in("walk.swf")));
}

TEST_F(CliTest, FailedJobsGoToStderrWithTheReason) {
    copy("red4x3.bmp", "ok1.bmp");
    std::ofstream(in("clip.avi")) << "not a video";
    const CliRun r = run({in("")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("converted"), std::string::npos);
    EXPECT_NE(r.err.find("failed " + in("clip.avi") + ": video cannot be opened"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(in("clip.swf")));
}

TEST_F(CliTest, VersionAndHelp) {
    CliRun r = run({"-V"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "vantrel-cli 1.05\n");
    r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--lossless"), std::string::npos);
    EXPECT_NE(r.out.find("--jobs"), std::string::npos);
    EXPECT_NE(r.out.find("--no-video-sound"), std::string::npos);
}

TEST_F(CliTest, VideoBecomesAMovieOfItsSizeWithItsSound) {
    const fs::path videos = fs::path(VANTREL_TEST_DATA) / "video";
    fs::copy_file(videos / "tenseconds.avi", in("clip.avi"));  // 10 s at 25 fps
    copy("tone.mp3", "clip.avi.mp3");
    const CliRun r = run({"--rate", "15", in("")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("-> " + in("clip.swf") + " (150 frames, sound " + in("clip.avi.mp3")),
              std::string::npos)
        << r.out;
    const SwfFile swf = readSwf(in("clip.swf"));
    ASSERT_TRUE(swf.valid);
    EXPECT_EQ(swf.frameCount, 150);
    EXPECT_EQ(swf.width, 32 * 20);
    EXPECT_EQ(swf.height, 24 * 20);
    EXPECT_EQ(swf.count(21), 150u);  // a new picture every frame
    EXPECT_EQ(swf.count(14), 1u);
}

TEST_F(CliTest, EachLineSaysWhereTheSoundCameFrom) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=25:duration=2 -f lavfi -i "
                       "sine=duration=2 -c:v mpeg4 -c:a pcm_s16le '" + in("clip.avi") + "'"));
    copy("red4x3.bmp", "walk1.bmp");
    for (const auto& [option, sound] :
         std::map<std::string, std::string>{{"--quiet", "the video's own sound"},
                                            {"--no-video-sound", "no sound"}}) {
        const CliRun r = run({option, "--no-html", in("")});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("-> " + in("clip.swf") + " (30 frames, " + sound + ")"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("-> " + in("walk.swf") + " (1 frame, no sound)"), std::string::npos);
    }
}

using Json = nlohmann::json;

// Output of a shell pipeline run in the scratch folder.
std::string shell(const fs::path& dir, const std::string& command) {
    return commandOutput("cd " + quoted(dir.string()) + " && " + command);
}

// A converted, a skipped (its movie's name taken) and a failed job, named
// with a quote and a newline, the last also with a byte that is not UTF-8;
// the report must stay readable JSON and give the names back byte for byte.
TEST_F(CliTest, ReportStatesEveryJob) {
    const std::string walk = "wa\"l\nk";
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:size=8x6 -frames:v 2 '" + in(walk + "%d.bmp") + "'"));
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:size=8x6:duration=0.2 -c:v mpeg4 '" +
                       in(walk + ".avi") + "'"));
    const std::string odd = "o\"dd\n\xff";
    std::ofstream(in(odd + "1.bmp")) << "not a picture";
    const CliRun r = run({"--report", "-", "--no-html", "-r", "12.5", in("")});
    EXPECT_EQ(r.status, 1);
    ASSERT_TRUE(Json::accept(r.out)) << r.out;
    EXPECT_NE(r.err.find("converted " + in(walk + "(1 - 2).bmp")), std::string::npos) << r.err;
    const Json report = Json::parse(r.out);
    EXPECT_EQ(report["version"], "1.05");
    EXPECT_EQ(report["options"]["frame_rate"], 12.5);
    EXPECT_EQ(report["options"]["html_page"], false);
    EXPECT_EQ(report["options"]["start"], 0.0);
    EXPECT_EQ(report["options"]["end"], nullptr);

    struct Expected {
        std::string status, source;
        Json movie;
        std::string reasonStart;  // empty: no reason
        int frames, width;
        Json code;
    };
    const Expected expected[] = {
        {"converted", in(walk + "(1 - 2).bmp"), in(walk + ".swf"), "", 2, 8, nullptr},
        {"skipped", in(walk + ".avi"), nullptr, "its movie " + in(walk + ".swf"), 0, 0,
         "duplicate-movie"},
        {"failed", "", nullptr, "no picture could be read", 0, 0, "no-picture-read"},
    };
    ASSERT_EQ(report["jobs"].size(), 3u);
    for (const Expected& e : expected) {
        const auto job = std::find_if(report["jobs"].begin(), report["jobs"].end(),
                                      [&](const Json& j) { return j["status"] == e.status; });
        ASSERT_NE(job, report["jobs"].end()) << e.status;
        EXPECT_EQ((*job)["movie"], e.movie) << e.status;
        EXPECT_EQ((*job)["frames"], e.frames) << e.status;
        EXPECT_EQ((*job)["width"], e.width) << e.status;
        EXPECT_EQ((*job)["page"], nullptr) << e.status;
        EXPECT_EQ((*job)["code"], e.code) << e.status;
        if (e.reasonStart.empty()) {
            EXPECT_EQ((*job)["reason"], nullptr);
        } else {
            EXPECT_EQ((*job)["reason"].get<std::string>().rfind(e.reasonStart, 0), 0u) << *job;
        }
        if (!e.source.empty()) {
            EXPECT_EQ((*job)["source"], e.source);
        }
    }
    const Json& failed = *std::find_if(report["jobs"].begin(), report["jobs"].end(),
                                       [](const Json& j) { return j["status"] == "failed"; });
    EXPECT_EQ(failed["missing_picture_codes"], Json::array({"damaged"})) << failed;
    EXPECT_EQ(failed["warning_codes"], Json::array()) << failed;
    // jq reads it too, and base64 gives back the exact name.
    std::ofstream(dir_ / "report.json") << r.out;
    EXPECT_EQ(shell(dir_,
                    "jq -r '.jobs[] | select(.status == \"failed\") | .source_bytes' "
                    "report.json | base64 -d"),
              in(odd + "(1 - 1).bmp"));
    EXPECT_EQ(shell(dir_, "jq -r '.jobs[] | .missing_pictures_bytes // empty | .[0]' report.json "
                          "| base64 -d")
                  .rfind(in(odd + "1.bmp: "), 0),
              0u);
}

// The box reaches the movie and the report.
TEST_F(CliTest, MaxSizeScalesTheMovieAndIsReported) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=80x60 -frames:v 2 '" + in("a%d.bmp") + "'"));
    for (const auto& [box, width, stated] :
         {std::tuple<const char*, int, Json>{nullptr, 80, nullptr},
          {"32X32", 32, Json{{"width", 32}, {"height", 32}}}}) {
        std::vector<std::string> args = {"--report", "-", in("")};
        if (box != nullptr) args.insert(args.begin(), {"--max-size", box});
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const Json report = Json::parse(r.out);
        EXPECT_EQ(report["options"]["max_size"], stated);
        EXPECT_EQ(report["jobs"][0]["width"], width);
        EXPECT_EQ(report["jobs"][0]["height"], width * 3 / 4);
        EXPECT_EQ(readSwf(in("a.swf")).width, width * 20);
    }
}

TEST_F(CliTest, ReportToAFileLeavesTheLinesOnStdout) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:size=8x6 -frames:v 1 '" + in("a1.bmp") + "'"));
    const struct {
        std::string report;
        int status;
        bool written;
    } cases[] = {
        {(dir_ / "r.json").string(), 0, true},
        {(dir_ / "missing" / "r.json").string(), 2, false},
    };
    for (const auto& c : cases) {
        const CliRun r = run({"--report", c.report, in("")});
        EXPECT_EQ(r.status, c.status) << c.report;
        EXPECT_EQ(r.out.find("converted ") == 0, c.written) << r.out;
        EXPECT_EQ(fs::exists(c.report), c.written);
    }
    EXPECT_EQ(Json::parse(slurp(dir_ / "r.json"))["jobs"][0]["status"], "converted");
}

// The report goes where its path leads, and only a regular file is ever
// replaced: a link stays a link, and a FIFO, a pipe or a device is written
// to. Nodes made here stand for /dev/null and /dev/full; the real ones are
// never tried, so that this test cannot damage the system on a faulty tool.
TEST_F(CliTest, TheReportIsWrittenTheWayItsPathAsks) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:size=8x6 -frames:v 1 " + quoted(in("a1.bmp"))));
    fs::create_directory(dir_ / "real");
    std::ofstream(dir_ / "real/old.json") << "earlier";
    fs::create_symlink("real/old.json", dir_ / "link.json");
    fs::create_symlink("real/new.json", dir_ / "dangling.json");
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    const bool nodes = ::mknod((dir_ / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 &&
                       ::mknod((dir_ / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0 &&
                       ::mknod((dir_ / "disk").c_str(), S_IFBLK | 0600, makedev(7, 0)) == 0;
    const std::string cli = quoted(VANTREL_CLI) + " --report ";
    // The tool's status, once a reader in the background has ended.
    const std::string folder = " " + quoted(in("")) + "; s=$?; [ -z \"$!\" ] || wait $!; exit $s";
    const struct {
        std::string path;  // its kind must stay
        std::string command;
        int status;
        std::string json;  // where the report is read: a file, "-" for standard output
        std::string err;   // the start of standard error's last line; "": nothing
    } cases[] = {
        {"link.json", cli + "link.json" + folder, 0, "real/old.json", ""},
        {"dangling.json", cli + "dangling.json" + folder, 0, "real/new.json", ""},
        {"fifo", "timeout 20 cat fifo >got & " + cli + "fifo" + folder, 0, "got", ""},
        {"", cli + ">(cat >piped)" + folder, 0, "piped", ""},
        {"", cli + "/dev/fd/1" + folder, 0, "-", "converted "},
        {"null", cli + "null" + folder, 0, "", ""},
        {"full", cli + "full" + folder, 1, "",
         "vantrel-cli: --report: cannot write full: No space"},
        {"disk", cli + "disk" + folder, 2, "", "vantrel-cli: --report disk: a block device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        if (!nodes && (c.path == "null" || c.path == "full" || c.path == "disk")) continue;
        fs::remove(in("a.swf"));
        const fs::file_type kind = fs::symlink_status(dir_ / c.path).type();
        const CliRun r = runBash(c.command);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(fs::symlink_status(dir_ / c.path).type(), kind);
        EXPECT_EQ(fs::exists(in("a.swf")), c.status != 2);
        if (!c.json.empty()) {
            const std::string json = c.json == "-" ? r.out : slurp(dir_ / c.json);
            EXPECT_TRUE(Json::accept(json)) << json;
        }
        if (c.err.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            const std::string last = r.err.substr(r.err.find_last_of('\n', r.err.size() - 2) + 1);
            EXPECT_EQ(last.rfind(c.err, 0), 0u) << r.err;
        }
    }
    if (!nodes) GTEST_SKIP() << "no device nodes can be made here";
}

std::set<std::string> tree(const fs::path& folder) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        paths.insert(entry.path().lexically_relative(folder).string());
    }
    return paths;
}

// A report that would be a file the batch reads or writes (under any
// spelling), or an output folder that cannot be made, stops the tool with
// one message before any work, and every file stays as it was.
TEST_F(CliTest, PathsThatCannotServeStopBeforeAnyWork) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:size=8x6 -frames:v 2 " + quoted(in("w%d.bmp"))));
    copy("tone.mp3", "w.mp3");
    std::ofstream(in("clip.avi")) << "not a video";
    std::ofstream(in("w.swf")) << "earlier";
    fs::create_symlink("w2.bmp", in("link.json"));
    const std::string movies = (dir_ / "movies").string(), file = (dir_ / "file").string();
    fs::create_directory(movies);
    std::ofstream(file) << "a file";
    using Case = std::pair<std::vector<std::string>, std::string>;  // options, message
    const auto report = [](const std::string& path, const std::string& is) {
        return Case{{"--report", path}, "--report " + path + ": the batch " + is};
    };
    const Case cases[] = {
        report(in("./w2.bmp"), "reads this file (picture " + in("w2.bmp")),
        report(in("link.json"), "reads this file (picture " + in("w2.bmp")),
        report(in("w.mp3"), "reads this file (sound " + in("w.mp3")),
        report(in("clip.avi"), "reads this file (video " + in("clip.avi")),
        report(in("w.swf"), "writes this file (movie " + in("w.swf")),
        report(in("../in/w.html"), "writes this file (page " + in("w.html")),
        {{"--dry-run", "-o", movies, "--report", movies + "/clip.swf"},
         "--report " + movies + "/clip.swf: the batch writes this file (movie"},
        {{"-o", file}, "cannot make the folder " + file + ": Not a directory"},
        {{"-o", file + "/sub"}, "cannot make the folder " + file + "/sub: Not a directory"},
    };
    const std::set<std::string> before = tree(dir_ / "in");
    for (auto [args, message] : cases) {
        args.push_back(in(""));
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_EQ(r.err.rfind("vantrel-cli: " + message, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(tree(dir_ / "in"), before);
    EXPECT_EQ(slurp(in("w.swf")), "earlier");
    EXPECT_EQ(readFile(in("w2.bmp")), readFile(in("w1.bmp")));
}

// Ctrl-C or SIGTERM right after the first job's line, read while a long
// video is still to be converted: the line came as soon as its movie was
// written, the movie is kept, the video gives none, and the run ends with
// the report and the signal's status.
TEST_F(CliTest, AStopSignalKeepsTheMoviesWrittenAndEndsWithItsStatus) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=5:duration=120 -c:v mpeg4 '" +
                       in("clip.avi") + "'"));
    copy("red4x3.bmp", "walk1.bmp");
    for (const auto& [signal, status] : std::map<int, int>{{SIGINT, 130}, {SIGTERM, 143}}) {
        fs::remove(in("walk.swf"));
        // The shell says its process id, then becomes the tool.
        std::FILE* out = ::popen(("echo $$; exec " + quoted(VANTREL_CLI) +
                                  " --no-html -r 255 -j 1 " + quoted(in("")) + " 2>" +
                                  quoted((dir_ / "err").string())).c_str(),
                                 "r");
        ASSERT_NE(out, nullptr);
        char line[4096] = {};
        ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
        const pid_t pid = std::atoi(line);
        ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
        EXPECT_EQ(std::string(line), "converted " + in("walk(1 - 1).bmp") + " -> " +
                                         in("walk.swf") + " (1 frame, no sound)\n");
        ::kill(pid, signal);
        const int raw = ::pclose(out);
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, status) << signal;
        // Whether the video had begun by then or not, it gives no movie.
        EXPECT_NE(slurp(dir_ / "err").find("stopped " + in("clip.avi") + ": "), std::string::npos);
        EXPECT_EQ(tree(dir_ / "in"), (std::set<std::string>{"clip.avi", "walk1.bmp", "walk.swf"}));
    }
}

// A second Ctrl-C ends the run in the middle of a large picture: the
// earlier report stays untouched (or, had the new one been written first,
// that one whole), never a cut one, and no temporary file is left.
TEST_F(CliTest, ASecondStopSignalLeavesTheEarlierReport) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=4000x3000 -frames:v 1 " + quoted(in("z1.png"))));
    fs::copy_file(in("z1.png"), in("z2.png"));
    copy("red4x3.bmp", "walk1.bmp");
    std::ofstream(dir_ / "r.json") << "earlier";
    std::FILE* out =
        ::popen(("echo $$; exec " + quoted(VANTREL_CLI) + " -l -j 1 --report " +
                 quoted((dir_ / "r.json").string()) + " " + quoted(in("")) + " 2>/dev/null")
                    .c_str(),
                "r");
    ASSERT_NE(out, nullptr);
    char line[4096] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    const pid_t pid = std::atoi(line);
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);  // the small sequence's movie
    // Well into the first large picture, which takes several times as long.
    for (const int pause : {100000, 20000}) {
        ::usleep(pause);
        ::kill(pid, SIGINT);
    }
    ::pclose(out);
    const std::string text = slurp(dir_ / "r.json");
    EXPECT_TRUE(text == "earlier" || Json::accept(text)) << text;
    EXPECT_EQ(tree(dir_),
              (std::set<std::string>{"in", "in/walk1.bmp", "in/walk.swf", "in/walk.html",
                                     "in/z1.png", "in/z2.png", "r.json"}));
}

TEST_F(CliTest, AnOutputFolderMirrorsAReadOnlyTree) {
    fs::create_directories(dir_ / "in" / "a" / "b");
    fs::create_directories(dir_ / "loose");
    copy("red4x3.bmp", "a/b/walk1.bmp");
    copy("tone.mp3", "a/b/walk.mp3");
    copy("blue4x3.bmp", "top1.bmp");
    copy("blue4x3.bmp", "../loose/top1.bmp");  // the same movie as in/top1.bmp: skipped
    fs::copy_file(fs::path(VANTREL_TEST_DATA) / "video" / "tenseconds.avi", dir_ / "loose/c.avi");
    const std::set<std::string> before = tree(dir_ / "in");
    ASSERT_EQ(std::system(("chmod -R a-w " + quoted(in(""))).c_str()), 0);
    const CliRun r = run({"-o", (dir_ / "movies").string(), in(""),
                          (dir_ / "loose/c.avi").string(), (dir_ / "loose").string()});
    std::system(("chmod -R u+w " + quoted(in(""))).c_str());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("-> " + (dir_ / "movies/a/b/walk.swf").string() + " (1 frame, sound " +
                         in("a/b/walk.mp3")),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("skipped " + (dir_ / "loose/top(1 - 1).bmp").string()), std::string::npos);
    EXPECT_EQ(tree(dir_ / "movies"), (std::set<std::string>{"a", "a/b", "a/b/walk.swf",
                                                            "a/b/walk.html", "top.swf", "top.html",
                                                            "c.swf", "c.html"}));
    EXPECT_EQ(tree(dir_ / "in"), before);
}

// A dry run decides what the real run then does: the same movies, pages and
// sounds, job by job. It writes nothing but its report.
// Videos are planned as their headers tell: their frames, stage (turned,
// and fitted into the box) and sound, or how the run fails or skips them (a
// video of sound only, a text file named as a video, a start past the end).
TEST_F(CliTest, ADryRunPlansWhatTheRunDoes) {
    copy("red4x3.bmp", "walk1.bmp");
    copy("blue4x3.bmp", "walk2.bmp");
    copy("tone.mp3", "walk.mp3");
    const std::string testsrc = "-f lavfi -i testsrc2=size=16x12:rate=10:duration=";
    ASSERT_TRUE(
        ffmpeg(testsrc + "1 -f lavfi -i sine=duration=1 -c:v mpeg4 '" + in("own.avi") + "'"));
    fs::copy_file(in("own.avi"), in("with.avi"));
    copy("tone.mp3", "with.avi.mp3");
    fs::copy_file(in("own.avi"), in("walk.mkv"));  // its movie is the sequence's
    ASSERT_TRUE(ffmpeg(testsrc + "2 -c:v libx264 '" + in("silent.mp4") + "'"));
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=duration=1 '" + in("song.mp4") + "'"));
    std::ofstream(in("notes.mp4")) << "not a video\n";
    const std::string turned = "-metadata:s:v:0 ROTATE=90 '" + in("upright.mkv") + "'";
    ASSERT_TRUE(ffmpeg(testsrc + "3 -f lavfi -i sine=duration=3 -c:v libx264 " + turned));
    ASSERT_TRUE(ffmpeg(testsrc + "0.1 -c:v mjpeg '" + in("short.avi") + "'"));
    const std::string out = (dir_ / "movies").string();
    const std::set<std::string> before = tree(dir_ / "in");
    const std::vector<std::string> options = {"--report",   "-",     "-o",      out,
                                              "--max-size", "10x10", "--start", "0.1"};

    std::vector<std::string> dryOptions = options;
    dryOptions.insert(dryOptions.begin(), "--dry-run");
    dryOptions.push_back(in(""));
    const CliRun dry = run(dryOptions);
    EXPECT_EQ(dry.status, 1) << dry.err;  // the duplicate is skipped
    EXPECT_EQ(tree(dir_ / "in"), before) << "a dry run writes nothing";
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(dry.err.find("planned " + in("upright.mkv") + " -> " + out + "/upright.swf (43 " +
                           "frames, 8 x 10, turned 90 degrees, the video's own sound, page " + out +
                           "/upright.html)"),
              std::string::npos)
        << dry.err;
    std::vector<std::string> realOptions = options;
    realOptions.push_back(in(""));
    const CliRun real = run(realOptions);
    const Json planned = Json::parse(dry.out), done = Json::parse(real.out);
    EXPECT_EQ(planned["options"]["dry_run"], true);
    EXPECT_EQ(done["options"]["dry_run"], false);
    ASSERT_EQ(planned["jobs"].size(), 9u);
    ASSERT_EQ(done["jobs"].size(), 9u);
    for (std::size_t k = 0; k < 9; ++k) {
        const Json& p = planned["jobs"][k];
        const Json& d = done["jobs"][k];
        SCOPED_TRACE(d.dump());
        EXPECT_EQ(p["status"], d["status"] == "converted" ? "planned" : d["status"]);
        for (const char* field :
             {"source", "movie", "page", "sound", "sound_file", "code", "reason", "frames"}) {
            EXPECT_EQ(p[field], d[field]) << field;
        }
        if (k > 0) {  // a sequence's stage is known once its pictures are read
            EXPECT_EQ(p["width"], d["width"]);
            EXPECT_EQ(p["height"], d["height"]);
        }
    }
    const auto codeOf = [&](const std::string& video) {
        for (const Json& job : done["jobs"]) {
            if (job["source"] == in(video)) return job["code"];
        }
        return Json();
    };
    EXPECT_EQ(codeOf("walk.mkv"), "duplicate-movie");
    EXPECT_EQ(codeOf("song.mp4"), "no-video");
    EXPECT_EQ(codeOf("notes.mp4"), "unreadable");
    EXPECT_EQ(codeOf("short.avi"), "start-past-end");
    EXPECT_EQ(codeOf("silent.mp4"), nullptr);
}

TEST_F(CliTest, NoOverwriteKeepsExistingMovies) {
    copy("red4x3.bmp", "walk1.bmp");
    copy("red4x3.bmp", "x1.bmp");
    std::ofstream(in("walk.swf")) << "old";
    const CliRun r = run({"-n", "--no-html", in("")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "skipped " + in("walk(1 - 1).bmp") + ": movie exists: " + in("walk.swf") + "\n");
    EXPECT_EQ(slurp(in("walk.swf")), "old");
    EXPECT_TRUE(fs::exists(in("x.swf")));
}

// --stream-sound and --play-once reach the movie, and the report states
// them, as false when not given.
TEST_F(CliTest, StreamSoundAndPlayOnceReachTheMovieAndTheReport) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:size=8x6 -frames:v 3 '" + in("walk%d.bmp") + "'"));
    copy("tone.mp3", "walk.mp3");
    for (const bool given : {false, true}) {
        std::vector<std::string> args = {"--quiet", "--report", "-", in("")};
        if (given) args.insert(args.begin(), {"--stream-sound", "--play-once"});
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const Json report = Json::parse(r.out);
        EXPECT_EQ(report["options"]["stream_sound"], given);
        EXPECT_EQ(report["options"]["play_once"], given);
        const SwfFile swf = readSwf(in("walk.swf"));
        ASSERT_TRUE(swf.valid);
        EXPECT_EQ(swf.count(45), given ? 1u : 0u);  // SoundStreamHead2
        EXPECT_EQ(swf.count(12), given ? 1u : 0u);  // DoAction: Stop, in the last frame
        EXPECT_EQ(swf.tags[swf.tags.size() - 3].code, given ? 12 : 26);
        EXPECT_EQ(slurp(in("walk.html")).find(" quality=high loop=false ") != std::string::npos,
                  given);
    }
}

TEST_F(CliTest, ExitStatuses) {
    const fs::path video = fs::path(VANTREL_TEST_DATA) / "video" / "tenseconds.avi";
    const struct {
        std::string picture, other, argument;  // made in a fresh folder; "" for none
        int status;
        std::string err;  // on standard error
    } cases[] = {
        {"", "c.MP4", "c.MP4", 0, ""},  // a video file named itself
        {"", "", "gone", 1, "/gone: No such file or directory\n"},
        {"", "", "", 1, "vantrel-cli: no picture sequences or videos found\n"},
        {"w1.bmp", "w.html/", "", 1, "warning: "},  // the page's name is taken by a folder
        {"w1.bmp", "deep", "", 1, ": cannot be read, passed over\n"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const fs::path folder = dir_ / std::to_string(++n);
        fs::create_directories(folder);
        if (!c.picture.empty()) fs::copy_file(kData / "red4x3.bmp", folder / c.picture);
        if (c.other == "c.MP4") fs::copy_file(video, folder / c.other);
        if (c.other == "w.html/") fs::create_directory(folder / c.other);
        std::optional<TooDeepFolder> deep;
        if (c.other == "deep") deep.emplace(folder.string());
        const CliRun r = run({(folder / c.argument).string()});
        EXPECT_EQ(r.status, c.status) << n << ": " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << n << ": " << r.err;
        if (c.status == 0) {
            EXPECT_EQ(r.err, "") << n;
        }
    }
}

// --target-size: the line and the report give the quality chosen; a movie
// that cannot fit fails, and nothing is written.
TEST_F(CliTest, TargetSizeGivesTheQualityChosenOrFails) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i mandelbrot=size=240x180:rate=25 -frames:v 20 '" +
                       in("walk%02d.png") + "'"));
    const struct {
        const char* size;
        int status;
        std::uint64_t bytes;
    } cases[] = {{"100k", 0, 100000}, {"2k", 1, 2000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const CliRun r = run({"--target-size", c.size, "--no-html", "--report", "-", in("")});
        EXPECT_EQ(r.status, c.status) << r.err;
        const Json report = Json::parse(r.out);
        EXPECT_EQ(report["options"]["target_size"], c.bytes);
        const Json& job = report["jobs"][0];
        if (c.status == 0) {
            ASSERT_TRUE(job["quality"].is_number_integer()) << job.dump();
            EXPECT_NE(r.err.find("(20 frames, quality " + job["quality"].dump() + ", no sound)"),
                      std::string::npos)
                << r.err;
            EXPECT_LE(fs::file_size(in("walk.swf")), c.bytes);
            fs::remove(in("walk.swf"));
        } else {
            EXPECT_TRUE(job["quality"].is_null());
            EXPECT_EQ(job["code"], "over-target-size");
            EXPECT_NE(r.err.find("failed " + in("walk(01 - 20).png") +
                                 ": even at quality 1 the movie would take about "),
                      std::string::npos)
                << r.err;
            EXPECT_FALSE(fs::exists(in("walk.swf")));
        }
    }
    const Json plain = Json::parse(run({"--report", "-", in("")}).out);
    EXPECT_TRUE(plain["options"]["target_size"].is_null());
    EXPECT_TRUE(plain["jobs"][0]["quality"].is_null());
}

// --start and --end reach the plan and the report's options.
TEST_F(CliTest, ACutIsPlannedAndReported) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:size=8x6 -frames:v 30 '" + in("walk%d.bmp") + "'"));
    const CliRun r = run({"--dry-run", "--report", "-", "-r", "10", "--start", "1.5", "--end",
                          "2.2", in("")});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(Json::accept(r.out)) << r.out;
    const Json report = Json::parse(r.out);
    EXPECT_EQ(report["options"]["start"], 1.5);
    EXPECT_EQ(report["options"]["end"], 2.2);
    EXPECT_EQ(report["jobs"][0]["frames"], 7);
}

}  // namespace
}  // namespace vantrel::test
