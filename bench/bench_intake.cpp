// Grouping picture paths into sequences: the most a movie can hold, with
// unpadded numbers offered in name order (1, 10, 100, 1000, 10000, 10001,
// ...), the order a folder scan produces and the worst for a sorted insert.
// Once through the collector alone and once as a whole drop of a folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "convert/JobIntake.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> unpaddedNames(int count) {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (int n = 1; n <= count; ++n) names.push_back("walk" + std::to_string(n) + ".bmp");
    std::sort(names.begin(), names.end());
    return names;
}

void BM_GroupUnpaddedPaths(benchmark::State& state) {
    std::vector<std::string> paths = unpaddedNames(static_cast<int>(state.range(0)));
    for (std::string& path : paths) path.insert(0, "/anim/");
    for (auto _ : state) {
        std::list<vantrel::FolderJob> jobs;
        {
            vantrel::PictureCollector collector(jobs);
            for (const std::string& path : paths) collector.add(path);
        }
        benchmark::DoNotOptimize(jobs.front().pictures.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GroupUnpaddedPaths)->Arg(4096)->Arg(65535)->Unit(benchmark::kMillisecond);

// The folder of empty files is made once and removed at the end.
class DropFolder {
  public:
    explicit DropFolder(int count) {
        std::string name = (fs::temp_directory_path() / "vantrel-bench-intake-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) std::abort();
        path_ = name;
        for (const std::string& file : unpaddedNames(count)) std::ofstream(path_ + "/" + file);
    }
    ~DropFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

void BM_DropUnpaddedFolder(benchmark::State& state) {
    const DropFolder folder(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        vantrel::JobList jobs;
        vantrel::dropPaths(jobs, {folder.path()});
        benchmark::DoNotOptimize(jobs.folderJobs.front().pictures.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DropUnpaddedFolder)->Arg(4096)->Arg(65535)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
