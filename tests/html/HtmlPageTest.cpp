#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>

#include "html/HtmlPage.h"
#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "support/Bytes.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

std::string textOf(const fs::path& path) {
    const Bytes bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string expectedPage(const std::string& name, const std::string& w, const std::string& h,
                         bool alpha) {
    return "<html>\n"
           "<body>\n"
           "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" "
           "codebase=\"https://download.macromedia.com/pub/shockwave/cabs/flash/"
           "swflash.cab#version=4,0,0,0\" width=" +
           w + " height=" + h +
           ">\n"
           "<param name=movie value=\"" +
           name +
           "\">\n"
           "<param name=quality value=high>\n" +
           (alpha ? "<param name=wmode value=transparent>\n" : "") + "<embed src=\"" + name +
           "\" quality=high width=" + w + " height=" + h +
           " type=\"application/x-shockwave-flash\" "
           "pluginspage=\"https://www.macromedia.com/go/getflashplayer\">\n"
           "</embed>\n"
           "</object>\n"
           "</body>\n"
           "</html>\n";
}

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(HtmlPage, PageBesideTheMovie) {
    ScratchDir dir;
    fs::create_directory(dir.path() / "clips");
    const std::string movie = (dir.path() / "clips" / "walk.swf").string();

    const WriteResult plain = writeHtmlPage(movie, 320, 240, false);
    ASSERT_TRUE(plain.written) << words(plain.fault);
    const std::string page = textOf(dir.path() / "clips" / "walk.html");
    EXPECT_EQ(page, expectedPage("walk.swf", "320", "240", false));
    EXPECT_EQ(lineCount(page), 10u);
    EXPECT_EQ(page.find('\r'), std::string::npos);

    // An existing page is replaced; with alpha the wmode line follows quality.
    const WriteResult alpha = writeHtmlPage(movie, 320, 240, true);
    ASSERT_TRUE(alpha.written) << words(alpha.fault);
    const std::string transparent = textOf(dir.path() / "clips" / "walk.html");
    EXPECT_EQ(transparent, expectedPage("walk.swf", "320", "240", true));
    EXPECT_EQ(lineCount(transparent), 11u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "clips"), {}), 1);
}

TEST(HtmlPage, OnlyTheFileNamesLastDotCounts) {
    ScratchDir dir;
    fs::create_directory(dir.path() / "a.b");
    ASSERT_TRUE(writeHtmlPage((dir.path() / "a.b" / "x.swf").string(), 1024, 768, false).written);
    EXPECT_EQ(textOf(dir.path() / "a.b" / "x.html"), expectedPage("x.swf", "1024", "768", false));
    EXPECT_FALSE(fs::exists(dir.path() / "a.html"));

    EXPECT_EQ(htmlPagePath("/clips/walk.swf"), "/clips/walk.html");
    EXPECT_EQ(htmlPagePath("/a.b/x.y.swf"), "/a.b/x.y.html");
    EXPECT_EQ(htmlPagePath("walk.swf"), "walk.html");
    EXPECT_EQ(htmlPagePath("/a.b/walk"), "/a.b/walk.html");
    EXPECT_EQ(htmlPagePath("walk"), "walk.html");
}

TEST(HtmlPage, BareFileNameIsItsOwnReference) {
    ScratchDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    const WriteResult result = writeHtmlPage("walk.swf", 16, 9, false);
    fs::current_path(before);
    ASSERT_TRUE(result.written) << words(result.fault);
    EXPECT_EQ(textOf(dir.path() / "walk.html"), expectedPage("walk.swf", "16", "9", false));
}

TEST(HtmlPage, NamesThatWouldBreakThePageAreEscaped) {
    ScratchDir dir;
    const fs::path movie = dir.path() / "take #2 & \"final\" 100%.swf";
    ASSERT_TRUE(writeHtmlPage(movie.string(), 8, 8, false).written);
    EXPECT_EQ(textOf(dir.path() / "take #2 & \"final\" 100%.html"),
              expectedPage("take %232 &amp; &quot;final&quot; 100%25.swf", "8", "8", false));
}

// URL parsing reads a backslash as a slash, drops tabs and line ends, and
// strips spaces at the start: such names are percent-encoded, spaces
// elsewhere are not.
TEST(HtmlPage, NamesThatURLsWouldReadDifferentlyArePercentEncoded) {
    const std::pair<const char*, const char*> cases[] = {
        {"back\\slash", "back%5Cslash"},
        {"t\tn\nr\r", "t%09n%0Ar%0D"},
        {" lead", "%20lead"},
        {"in side ?", "in side %3F"},
    };
    ScratchDir dir;
    for (const auto& [name, reference] : cases) {
        ASSERT_TRUE(writeHtmlPage((dir.path() / name).string() + ".swf", 8, 6, false).written);
        EXPECT_EQ(textOf((dir.path() / name).string() + ".html"),
                  expectedPage(std::string(reference) + ".swf", "8", "6", false))
            << name;
    }
}

TEST(HtmlPage, PlayerScriptIsLoadedFromTheHead) {
    struct Case {
        std::string url;
        std::string src;
    };
    const Case cases[] = {
        {"ruffle/ruffle.js", "ruffle/ruffle.js"},
        {"https://example.org/r.js?a=1&b=\"<x>\"",
         "https://example.org/r.js?a=1&amp;b=&quot;&lt;x&gt;&quot;"},
    };
    ScratchDir dir;
    const std::string movie = (dir.path() / "walk.swf").string();
    for (const Case& c : cases) {
        ASSERT_TRUE(writeHtmlPage(movie, 320, 240, true, c.url).written);
        EXPECT_EQ(textOf(dir.path() / "walk.html"),
                  "<html>\n<head>\n<script src=\"" + c.src + "\"></script>\n</head>\n" +
                      expectedPage("walk.swf", "320", "240", true).substr(7))
            << c.url;
    }
    // An empty URL is no script: the page is the plain one.
    ASSERT_TRUE(writeHtmlPage(movie, 320, 240, false, "").written);
    EXPECT_EQ(textOf(dir.path() / "walk.html"), expectedPage("walk.swf", "320", "240", false));
}

// A movie that plays once has a page that says so to both elements; the
// rest of the page is as it is for a looping movie.
TEST(HtmlPage, APageForAMovieThatPlaysOnceDoesNotLoop) {
    ScratchDir dir;
    const std::string movie = (dir.path() / "walk.swf").string();
    for (const bool alpha : {false, true}) {
        ASSERT_TRUE(writeHtmlPage(movie, 320, 240, alpha, {}, false).written);
        std::string expected = expectedPage("walk.swf", "320", "240", alpha);
        const std::string embed = "<embed src=\"walk.swf\" quality=high";
        expected.insert(expected.find(embed) + embed.size(), " loop=false");
        expected.insert(expected.find("<embed"), "<param name=loop value=false>\n");
        EXPECT_EQ(textOf(dir.path() / "walk.html"), expected) << alpha;
    }
}

TEST(HtmlPage, FailedWritesAreReportedAndLeaveNothingBehind) {
    ScratchDir dir;
    const fs::path missing = dir.path() / "absent" / "walk.swf";
    const WriteResult noFolder = writeHtmlPage(missing.string(), 320, 240, false);
    EXPECT_FALSE(noFolder.written);
    EXPECT_EQ(noFolder.fault,
              Fault(FaultCode::WriteFailed, FaultStep::WriteFile,
                    (dir.path() / "absent" / "walk.html").string(), "No such file or directory"));

    // The temporary file is written, but cannot be renamed over a folder.
    fs::create_directory(dir.path() / "walk.html");
    const WriteResult blocked = writeHtmlPage((dir.path() / "walk.swf").string(), 320, 240, false);
    EXPECT_FALSE(blocked.written);
    EXPECT_EQ(blocked.fault.step, FaultStep::WriteFile);
    EXPECT_EQ(blocked.fault.path, (dir.path() / "walk.html").string());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

TEST(HtmlPage, ReadOnlyFolderIsReported) {
    ScratchDir dir;
    fs::create_directory(dir.path() / "locked");
    ::chmod((dir.path() / "locked").c_str(), 0555);
    if (::access((dir.path() / "locked").c_str(), W_OK) == 0) {
        GTEST_SKIP() << "permissions do not bind this user";
    }
    const WriteResult locked =
        writeHtmlPage((dir.path() / "locked" / "walk.swf").string(), 320, 240, false);
    EXPECT_FALSE(locked.written);
    EXPECT_EQ(locked.fault,
              Fault(FaultCode::WriteFailed, FaultStep::WriteFile,
                    (dir.path() / "locked" / "walk.html").string(), "Permission denied"));
    EXPECT_TRUE(fs::is_empty(dir.path() / "locked"));
}

}  // namespace
}  // namespace vantrel::test
