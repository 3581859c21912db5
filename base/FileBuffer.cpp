#include "base/FileBuffer.h"

#include <cerrno>
#include <new>

#include "base/InputFile.h"

namespace vantrel {

namespace {

bool fail(Fault* why, const std::string& path, int errnum) {
    if (why == nullptr) return false;
    *why = readFault(FaultStep::ReadFile, path, errnum);
    // The refusals of InputFile in plainer words than their errno's.
    if (errnum == EISDIR || errnum == EINVAL) why->detail = "not a regular file";
    if (errnum == EFBIG) why->detail = "file of 4 GiB or more";
    return false;
}

}  // namespace

bool FileBuffer::load(const std::string& path, Fault* why) {
    bytes_.clear();
    InputFile file;
    if (!file.open(path)) return fail(why, path, file.error());
    try {
        bytes_.resize(static_cast<std::size_t>(file.size()));
    } catch (const std::bad_alloc&) {
        bytes_ = {};
        return fail(why, path, ENOMEM);
    }
    if (file.read(bytes_.data(), bytes_.size()) == bytes_.size()) return true;
    bytes_ = {};
    if (file.error() != 0) return fail(why, path, file.error());
    // Zeros in place of the missing bytes would be taken for the file's own.
    if (why != nullptr) {
        *why = {FaultCode::Unreadable, FaultStep::ReadFile, path, "the file got shorter"};
    }
    return false;
}

}  // namespace vantrel
