#pragma once

#include <string>
#include <vector>

#include "base/Fault.h"
#include "convert/JobOutcome.h"

namespace vantrel::test {

// Why a job was not converted, in words; empty when it was.
inline std::string reasonOf(const JobOutcome& outcome) {
    return outcome.fault ? faultText(*outcome.fault) : std::string();
}

inline std::vector<std::string> texts(const std::vector<Fault>& faults) {
    std::vector<std::string> words;
    for (const Fault& fault : faults) words.push_back(faultText(fault));
    return words;
}

}  // namespace vantrel::test
