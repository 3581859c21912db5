#pragma once

#include <string>
#include <vector>

#include "convert/JobList.h"

namespace vantrel {

// A sequence whose pictures all have the job's extension.
inline FolderJob sequenceJob(std::string prefix, const std::string& extension,
                             const std::vector<std::string>& numbers) {
    FolderJob job{std::move(prefix), extension, {}};
    for (const std::string& number : numbers) job.pictures.push_back({number, extension});
    return job;
}

// The digit runs of the job's pictures, in order.
inline std::vector<std::string> numbersOf(const FolderJob& job) {
    std::vector<std::string> numbers;
    for (const SequencePicture& picture : job.pictures) numbers.push_back(picture.number);
    return numbers;
}

}  // namespace vantrel
