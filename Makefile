# The two commands a newcomer needs: `make demo` and `make test`.
# Each installs what is missing, configures and builds on its own.

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps build build-asan build-tsan test check test-asan test-tsan demo bench clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON \
	  -DVANTREL_BUILD_BENCH=OFF $(CMAKE_ARGS)

$(TSAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_SANITIZE_THREAD=ON \
	  -DVANTREL_BUILD_BENCH=OFF $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The release build's tests only: the quick loop while developing.
check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: build-asan
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The frame pipeline, the driver that runs it and the compressor the
# threads share, under ThreadSanitizer.
TSAN_TESTS = ^(OrderedPipeline\.|DriverTest\.|VideoDriverTest\.|BitmapTags\.SeveralThreads)
build-tsan: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target convert_tests swf_tests

test-tsan: build-tsan
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) \
	  -R '$(TSAN_TESTS)'

test: check test-asan test-tsan

demo: build
	@scripts/demo.sh $(BUILD)

# The Google Benchmark programs, then the whole tool against its floor and
# FFmpeg (bench/bench_cli.sh; about ten minutes).
bench: build
	@for b in $(BUILD)/bench/bench_*; do \
	  case "$$b" in */bench_floor) continue ;; esac; [ -x "$$b" ] && "$$b"; done; true
	@bash bench/bench_cli.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
