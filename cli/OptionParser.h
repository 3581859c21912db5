#pragma once

#include <CLI/CLI.hpp>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "convert/OptionTable.h"

namespace vantrel {

// The command line's options, each made from its row of the option table:
// its names, --help line and value name, a check that refuses an empty
// value, and the reading of its text into a BatchRequest.
class OptionParser {
  public:
    explicit OptionParser(CLI::App& app, std::span<const OptionRow> rows = optionTable());
    OptionParser(const OptionParser&) = delete;
    OptionParser& operator=(const OptionParser&) = delete;

    // The words of the command line, as app.parse takes them (last first).
    // CLI11 reads "--name=" as the name alone, which then takes the next
    // word as its value; split here, the value is the empty word it is.
    std::vector<std::string> words(int argc, const char* const* argv) const;

    // After app.parse: stores every option given into `request`, in the
    // table's order. Nothing when all were good, else the line that refuses
    // the first that is not: "--quality abc: Please enter an integer.".
    std::optional<std::string> read(BatchRequest& request) const;

  private:
    struct Given {
        const OptionRow* row;
        CLI::Option* option;
        const std::string* text;  // of an option with a value
        const bool* on;           // of a flag
    };

    CLI::App& app_;
    // CLI11 writes each option's text or flag here.
    std::deque<std::string> texts_;
    std::deque<bool> flags_;
    std::vector<Given> options_;
};

}  // namespace vantrel
