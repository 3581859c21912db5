#pragma once

#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/Fault.h"
#include "convert/JobOutcome.h"
#include "convert/OptionTable.h"

namespace vantrel {

namespace test {

// A fault in the command line's words.
inline std::string words(const Fault& fault) { return faultText(fault, commandLineName); }

// Why a job was not converted, in words; empty when it was.
inline std::string reasonOf(const JobOutcome& outcome) {
    return outcome.fault ? words(*outcome.fault) : std::string();
}

inline std::vector<std::string> texts(const std::vector<Fault>& faults) {
    std::vector<std::string> lines;
    for (const Fault& fault : faults) lines.push_back(words(fault));
    return lines;
}

// A fault without its words, for tests that check what a unit found rather
// than how it is said: "size-differs s1.bmp 4 3 6 5", its code, the name of
// its file, its frame and its values up to the last that is not 0.
inline std::string brief(const Fault& fault) {
    std::ostringstream out;
    out << faultCodeName(fault.code);
    if (!fault.path.empty()) out << ' ' << std::filesystem::path(fault.path).filename().string();
    if (fault.frame) out << " frame " << *fault.frame;
    std::size_t used = fault.values.size();
    while (used > 0 && fault.values[used - 1] == 0.0) --used;
    for (std::size_t i = 0; i < used; ++i) out << ' ' << fault.values[i];
    return out.str();
}

inline std::vector<std::string> briefs(const std::vector<Fault>& faults) {
    std::vector<std::string> out;
    for (const Fault& fault : faults) out.push_back(brief(fault));
    return out;
}

}  // namespace test

// How a test shows a fault that is not the one expected.
inline void PrintTo(const Fault& fault, std::ostream* out) {
    *out << test::brief(fault) << " (step " << static_cast<int>(fault.step)
         << "): " << test::words(fault);
}

}  // namespace vantrel
