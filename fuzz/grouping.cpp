// The grouping of picture paths into sequences, on arbitrary path strings
// (one per line). The one-by-one rule and the collector used for whole scans
// must agree, and every job must hold its numbers in strictly rising order,
// each with the extension of the file it was found as.
#include <cstdint>
#include <list>
#include <string>
#include <string_view>

#include "convert/JobIntake.h"

namespace {

// Digit runs compared by value, however many leading zeros they carry.
int compareByValue(std::string_view a, std::string_view b) {
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::list<vantrel::FolderJob> oneByOne;
    std::list<vantrel::FolderJob> collected;
    {
        vantrel::PictureCollector collector(collected);
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            const std::string path(text.substr(start, end - start));
            vantrel::addPicture(oneByOne, path);
            collector.add(path);
            start = end + 1;
        }
    }
    if (oneByOne.size() != collected.size()) __builtin_trap();
    auto other = collected.begin();
    for (const vantrel::FolderJob& job : oneByOne) {
        if (job.prefix != other->prefix || job.extension != other->extension ||
            job.pictures != other->pictures || vantrel::rowText(job) != vantrel::rowText(*other)) {
            __builtin_trap();
        }
        for (std::size_t i = 1; i < job.pictures.size(); ++i) {
            if (compareByValue(job.pictures[i - 1].number, job.pictures[i].number) >= 0) {
                __builtin_trap();
            }
        }
        ++other;
    }
    return 0;
}
