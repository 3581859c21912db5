#pragma once

#include <optional>
#include <vector>

#include "convert/OptionTable.h"

namespace vantrel::test {

// The table with one more option, a made-up fade in seconds that the
// report states and the More options panel shows; what it is given lands
// in `fade`.
inline std::vector<OptionRow> tableWithFade(std::optional<double>& fade) {
    std::vector<OptionRow> rows(optionTable().begin(), optionTable().end());
    rows.push_back({OptionKey{200}, "--fade", OptionKind::Seconds, "TIME",
                    "fade the movie in over TIME seconds", OptionGroup::MoreOptions, "fade", 99,
                    "Fade (Seconds)", "Empty: none", "fadeSeconds", 9,
                    [&fade](BatchRequest&, const OptionValue& value) {
                        const double* seconds = std::get_if<double>(&value);
                        fade = seconds != nullptr ? std::optional(*seconds) : std::nullopt;
                    },
                    [&fade](const BatchRequest&) {
                        return fade ? OptionValue(*fade) : OptionValue();
                    }});
    return rows;
}

}  // namespace vantrel::test
