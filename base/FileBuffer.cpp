#include "base/FileBuffer.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "base/InputFile.h"

namespace vantrel {

namespace {

bool fail(Fault* why, FaultStep step, const std::string& path, int errnum) {
    if (why == nullptr) return false;
    // The refusals of InputFile in plainer words than their errno's.
    const char* words = errnum == EISDIR || errnum == EINVAL ? "not a regular file"
                        : errnum == EFBIG                    ? "file of 4 GiB or more"
                                                             : std::strerror(errnum);
    *why = {readFaultCode(errnum), step, path, words};
    return false;
}

}  // namespace

bool FileBuffer::load(const std::string& path, Fault* why, FaultStep step) {
    bytes_.clear();
    InputFile file;
    if (!file.open(path)) return fail(why, step, path, file.error());
    try {
        bytes_.resize(static_cast<std::size_t>(file.size()));
    } catch (const std::bad_alloc&) {
        bytes_ = {};
        return fail(why, step, path, ENOMEM);
    }
    if (file.read(bytes_.data(), bytes_.size()) == bytes_.size()) return true;
    bytes_ = {};
    if (file.error() != 0) return fail(why, step, path, file.error());
    // Zeros in place of the missing bytes would be taken for the file's own.
    if (why != nullptr) {
        *why = {FaultCode::Unreadable, step, path, "the file got shorter"};
    }
    return false;
}

}  // namespace vantrel
