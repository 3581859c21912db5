#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "support/Faults.h"
#include "support/ScratchDir.h"
#include "swf/AtomicFile.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

std::string textOf(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put(const fs::path& path, const char* text, mode_t mode) {
    std::ofstream(path) << text;
    ::chmod(path.c_str(), mode);
}

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

bool unnamedFilesIn(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR, 0600);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

// Runs `check` where read-only files bind: in this process, or, as root, in
// a child that becomes nobody and owns `folder`. False when that cannot be.
bool asBoundUser(const fs::path& folder, const std::function<void()>& check) {
    if (::geteuid() != 0) {
        check();
        return true;
    }
    constexpr uid_t kNobody = 65534;
    ::chmod(folder.parent_path().c_str(), 0711);
    if (::chown(folder.c_str(), kNobody, kNobody) != 0) return false;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(2);
        }
        check();
        std::fflush(stdout);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) return false;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the checks as nobody failed";
    return true;
}

TEST(AtomicFile, WritesUnnamedAndKeepsTheReplacedFilesPermissionBits) {
    const mode_t umask = ::umask(022);
    const struct {
        mode_t existing;  // 0: no file yet
        bool commit;
        mode_t mode;
    } cases[] = {{0640, true, 0640},
                 {0755, true, 0755},
                 {0, true, 0644},
                 {0640, false, 0640},
                 {0, false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c.existing << " " << c.commit);
        ScratchDir dir;
        const fs::path target = dir.path() / "x.swf";
        if (c.existing != 0) put(target, "old", c.existing);
        {
            AtomicFile file(target);
            Fault error;
            ASSERT_TRUE(file.open(error)) << words(error);
            std::fputs("new", file.stream());
            if (unnamedFilesIn(dir.path())) {
                EXPECT_EQ(dir.entries(), c.existing != 0 ? 1u : 0u);
            }
            if (c.commit) {
                EXPECT_TRUE(file.commit(error)) << words(error);
            }
        }
        EXPECT_EQ(textOf(target), c.commit ? "new" : c.existing != 0 ? "old" : "");
        EXPECT_EQ(modeOf(target), c.mode);
        EXPECT_EQ(dir.entries(), c.mode != 0 ? 1u : 0u);
    }
    ::umask(umask);
}

TEST(AtomicFile, AReadOnlyTargetIsRefusedAsAPlainWriteWouldBe) {
    ScratchDir dir;
    const fs::path folder = dir.path() / "w";
    fs::create_directory(folder);
    const bool bound = asBoundUser(folder, [&folder] {
        // The rule against what a plain open for writing meets.
        for (const mode_t mode : {0644, 0444, 0}) {
            const fs::path target = folder / std::to_string(mode);
            if (mode != 0) put(target, "old", mode);
            const int refusal = replaceRefusal(target);
            const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT, 0666);
            EXPECT_EQ(refusal, fd < 0 ? errno : 0) << mode;
            if (fd >= 0) ::close(fd);
        }
        // Made read-only before opening, or while the file is written.
        for (const bool lockFirst : {true, false}) {
            const fs::path target = folder / (lockFirst ? "first" : "later");
            put(target, "old", lockFirst ? 0444 : 0644);
            AtomicFile file(target);
            Fault error;
            if (file.open(error)) {
                std::fputs("new", file.stream());
                ::chmod(target.c_str(), 0444);
                file.commit(error);
            }
            EXPECT_EQ(error, Fault(FaultCode::WriteFailed, FaultStep::WriteFile, target.string(),
                                   "Permission denied"));
            EXPECT_EQ(textOf(target), "old");
        }
    });
    if (!bound) GTEST_SKIP() << "no user here is bound by read-only files";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 5);  // nothing left over
}

// A rename would put the file in the place of a FIFO or a folder: neither
// is replaced, and nothing is left beside them.
TEST(AtomicFile, OnlyARegularFileOrALinkIsReplaced) {
    ScratchDir dir;
    const fs::path fifo = dir.path() / "fifo", folder = dir.path() / "folder";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder);
    for (const auto& [target, words] :
         {std::pair(fifo, "File exists"), {folder, "Is a directory"}}) {
        AtomicFile file(target);
        Fault error;
        EXPECT_FALSE(file.open(error));
        EXPECT_EQ(error,
                  Fault(FaultCode::WriteFailed, FaultStep::WriteFile, target.string(), words));
    }
    EXPECT_EQ(fs::symlink_status(fifo).type(), fs::file_type::fifo);
    EXPECT_EQ(dir.entries(), 2u);
}

}  // namespace
}  // namespace vantrel::test
