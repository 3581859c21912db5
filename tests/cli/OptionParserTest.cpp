#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <vector>

#include "cli/JsonReport.h"
#include "cli/OptionParser.h"
#include "support/MadeUpOption.h"

namespace vantrel::test {
namespace {

// What the parser makes of a command line: the refusal, or nothing.
std::optional<std::string> parse(CLI::App& app, const OptionParser& parser,
                                 std::vector<const char*> argv, BatchRequest& request) {
    argv.insert(argv.begin(), "vantrel-cli");
    app.parse(parser.words(static_cast<int>(argv.size()), argv.data()));
    return parser.read(request);
}

// An option is one row: --help, the parser and the report all take it.
TEST(OptionParser, ARowAddedIsAnOptionEverywhere) {
    std::optional<double> fade;
    const std::vector<OptionRow> rows = tableWithFade(fade);
    CLI::App app;
    const OptionParser parser(app, rows);
    EXPECT_NE(app.help().find("--fade TIME"), std::string::npos) << app.help();
    EXPECT_NE(app.help().find("fade the movie in over TIME seconds"), std::string::npos);

    BatchRequest request;
    EXPECT_EQ(parse(app, parser, {"--fade", "1.5", "-q", "50"}, request), std::nullopt);
    EXPECT_EQ(fade, 1.5);
    EXPECT_EQ(request.settings.colorQuality, 50);

    std::ostringstream report;
    writeJsonReport(report, "1", request, {}, {}, rows);
    const nlohmann::ordered_json options = nlohmann::ordered_json::parse(report.str())["options"];
    EXPECT_EQ(options["fade"], 1.5);
    EXPECT_EQ(std::prev(options.end()).key(), "fade");  // its place is the last

    CLI::App again;
    const OptionParser refusing(again, rows);
    EXPECT_EQ(parse(again, refusing, {"--fade", "soon"}, request), "--fade soon: Please enter a number.");
}

}  // namespace
}  // namespace vantrel::test
