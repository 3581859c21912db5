#pragma once

#include <string>
#include <vector>

#include "base/Fault.h"
#include "convert/JobOutcome.h"
#include "convert/OptionTable.h"

namespace vantrel::test {

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

}  // namespace vantrel::test
