#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <variant>

#include "base/OptionKey.h"
#include "convert/ConvertSettings.h"

namespace vantrel {

// What one run of a front end is asked: the settings every movie is made
// with, and how the batch runs.
struct BatchRequest {
    ConvertSettings settings;
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    bool dryRun = false;
    bool listOnly = false;
    bool quiet = false;
    bool subfolders = true;
    std::string reportPath;
};

// The kind of value an option takes, which decides how its text is read
// (parseOptionText) and how the More options panel shows it.
enum class OptionKind : std::uint8_t {
    Flag,      // given or not
    Quality,   // an integer from 1 to 100
    Rate,      // frames per second, 0.01 to 255
    Seconds,   // 0 or more, decimals allowed
    Box,       // WxH; in the panel a width field and a height field
    ByteSize,  // 800k, 5M, ...; in the panel a number of KB or MB
    Text,      // any text but an empty one
    Threads,   // an integer from 1 to kMaxThreads
};

inline constexpr unsigned kMaxThreads = 1024;

// Where a person meets an option: the Convert dialog's own controls, the
// More options panel below them, or the command line alone.
enum class OptionGroup : std::uint8_t { Dialog, MoreOptions, CommandLine };

// An option's value as the report states it: none (null), a flag, a whole
// number, a number, a text or a box.
using OptionValue =
    std::variant<std::monostate, bool, std::int64_t, double, std::string, PictureBox>;

// One option, defined once: everything else about it is derived from this
// row (the command line's parser and --help, the report's options, the
// More options panel's rows, the words a fault uses to name it).
struct OptionRow {
    OptionKey key{};
    std::string_view names;      // as the command line takes them: "-q,--quality"
    OptionKind kind = OptionKind::Flag;
    std::string_view valueName;  // in --help: "N", "FPS"; empty for a flag
    std::string_view help;
    OptionGroup group = OptionGroup::CommandLine;
    std::string_view reportKey;  // empty: the report leaves it out
    int reportPlace = 0;         // the report lists its options by this, rising
    std::string_view label;      // the dialog's words for it
    std::string_view tooltip;    // of its panel fields
    std::string_view fieldName;  // the object names of its panel fields, comma-separated
    int panelPlace = 0;          // the panel lists its rows by this, rising
    // Stores a value of the option's kind (a flag's: true when given).
    std::function<void(BatchRequest&, const OptionValue&)> assign;
    // The option's value in a request, as the report and panel show it.
    std::function<OptionValue(const BatchRequest&)> value;
};

// Every option, in the order --help lists them.
std::span<const OptionRow> optionTable();

// The row of a key; null when `rows` has none.
const OptionRow* optionRow(OptionKey key, std::span<const OptionRow> rows = optionTable());

// The option's long name without its dashes: "quality".
std::string_view longName(const OptionRow& row);

// A command-line text read as the row's kind: nothing, with the message
// why, when it is not one. (Threads are range-checked by the parser.)
std::optional<OptionValue> parseOptionText(OptionKind kind, std::string_view text,
                                           std::string& message);

// How each front end names an option where a fault's words advise it:
// "--max-size"; "Maximum Size (More options)", or empty where the window
// has no control for it.
std::string commandLineName(OptionKey key);
std::string windowName(OptionKey key);

}  // namespace vantrel
