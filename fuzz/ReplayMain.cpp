// Runs a fuzz target once over each file given, or each file in each folder
// given, so that the corpus and the crash reproducers stay regression tests
// without libFuzzer. Folders that do not exist are passed over; finding no
// input at all is a failure, so a mistyped path cannot pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::vector<std::filesystem::path> inputsIn(const std::filesystem::path& given) {
    std::error_code error;
    if (!std::filesystem::is_directory(given, error)) {
        if (std::filesystem::is_regular_file(given, error)) return {given};
        return {};
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(given, error)) {
        if (entry.is_regular_file(error)) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& path : inputsIn(argv[i])) {
            std::ifstream in(path, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
            if (!in.good() && !in.eof()) {
                std::fprintf(stderr, "cannot read %s\n", path.c_str());
                return 1;
            }
            // A copy of exactly the input's size, so reads past it are caught.
            const std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
            static const std::uint8_t kNothing = 0;  // libFuzzer never passes null either
            LLVMFuzzerTestOneInput(data.empty() ? &kNothing : data.data(), data.size());
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
