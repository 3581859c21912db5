#include "cli/OptionParser.h"

#include <algorithm>
#include <sstream>

namespace vantrel {

namespace {

std::string optionName(const OptionRow& row) { return "--" + std::string(longName(row)); }

// A number as the user would write it: 3, 2.5.
std::string shortNumber(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

}  // namespace

OptionParser::OptionParser(CLI::App& app, std::span<const OptionRow> rows) : app_(app) {
    // An empty value, as an unset shell variable gives, would otherwise
    // pass for the option left out. Checked before any option's own check.
    const CLI::Validator notEmpty(
        [](const std::string& value) {
            return value.empty() ? "an empty value: give one, or leave the option out"
                                 : std::string();
        },
        "");
    for (const OptionRow& row : rows) {
        const std::string names(row.names);
        const std::string help(row.help);
        if (row.kind == OptionKind::Flag) {
            // Bound to a bool, so that "--flag=false" reads as CLI11 reads it.
            bool& on = flags_.emplace_back(false);
            options_.push_back({&row, app.add_flag(names, on, help), nullptr, &on});
            continue;
        }
        std::string& text = texts_.emplace_back();
        CLI::Option* option = app.add_option(names, text, help)->type_name(std::string(row.valueName));
        option->transform(notEmpty);
        if (row.kind == OptionKind::Threads) option->check(CLI::Range(1u, kMaxThreads));
        options_.push_back({&row, option, &text, nullptr});
    }
}

std::vector<std::string> OptionParser::words(int argc, const char* const* argv) const {
    std::vector<std::string> words;
    for (int i = argc - 1; i > 0; --i) words.emplace_back(argv[i]);
    for (auto word = words.end(); word != words.begin();) {
        --word;
        if (*word == "--") break;
        const CLI::Option* option = word->ends_with('=')
                                        ? app_.get_option_no_throw(word->substr(0, word->size() - 1))
                                        : nullptr;
        if (option != nullptr && option->get_type_size() > 0) {
            word->pop_back();
            word = words.insert(word, std::string());
        }
    }
    return words;
}

std::optional<std::string> OptionParser::read(BatchRequest& request) const {
    std::string message;
    for (const Given& given : options_) {
        if (given.option->count() == 0) continue;
        if (given.on != nullptr) {
            given.row->assign(request, *given.on);
            continue;
        }
        const std::string& text = *given.text;
        const std::optional<OptionValue> value = parseOptionText(given.row->kind, text, message);
        if (!value) return optionName(*given.row) + " " + text + ": " + message;
        given.row->assign(request, *value);
    }
    const ConvertSettings& settings = request.settings;
    if (settings.cutEnd && *settings.cutEnd <= settings.cutStart) {
        const auto end = std::find_if(options_.begin(), options_.end(), [](const Given& given) {
            return given.row->key == OptionKey::End;
        });
        return optionName(*end->row) + " " + *end->text + ": not after " +
               optionName(*optionRow(OptionKey::Start)) + " " + shortNumber(settings.cutStart);
    }
    if (settings.targetSize > 0 && settings.compression == CompressionType::Lossless) {
        return optionName(*optionRow(OptionKey::TargetSize)) + ": lossless pictures (" +
               optionName(*optionRow(OptionKey::Lossless)) + ") have no quality to choose";
    }
    return std::nullopt;
}

}  // namespace vantrel
