# The two commands a newcomer needs: `make demo` and `make test`.
# Each installs what is missing, configures and builds on its own.

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps deps-fuzz deps-package build build-asan build-tsan build-fuzz test check test-asan test-tsan demo package bench fuzz clean

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

# The frame pipeline, the driver and the conversions that run it, the video decoder on its own
# threads and the compressor the threads share, under ThreadSanitizer.
TSAN_TESTS = ^(OrderedPipeline\.|Driver\.|SequenceConversion\.|VideoConversion\.|MovieWriting\.|ThreadedDecode\.|QualityLoop\.|BitmapTags\.SeveralThreads)
build-tsan: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target convert_tests swf_tests

test-tsan: build-tsan
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) \
	  -R '$(TSAN_TESTS)'

test: check test-asan test-tsan

# Only the two programs and what they need: a first demo need not wait for
# the tests and benchmarks, which `make build` and `make test` build.
DEMO_TARGETS = vantrel-cli vantrel
demo: deps $(BUILD)/build.ninja
	@echo "demo: building the programs vantrel-cli and vantrel in $(BUILD) (the tests: make test)"
	cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	@scripts/demo.sh $(BUILD)

# The Debian package of both programs, made by CPack from the release build
# and left in it, then checked by lintian (README.md, "The Debian package").
deps-package:
	@bash scripts/install-deps.sh package

package: deps-package build
	cmake --build $(BUILD) --target package
	@deb=$$(ls -t $(abspath $(BUILD))/vantrel_*.deb | head -n 1) && \
	  lintian --fail-on error "$$deb" && echo "Package: $$deb"

# The Google Benchmark programs, then the whole tool against its floor and
# FFmpeg (bench/bench_cli.sh; about ten minutes).
bench: build
	@for b in $(BUILD)/bench/bench_*; do \
	  case "$$b" in */bench_floor) continue ;; esac; [ -x "$$b" ] && "$$b"; done; true
	@bash bench/bench_cli.sh $(BUILD)

# The libFuzzer targets, built by clang. `make fuzz` runs each for
# FUZZ_SECONDS (FUZZ_JOBS at once) on a working corpus in $(FUZZ_BUILD),
# seeded from fuzz/corpus; FUZZ_TARGETS picks some. See fuzz/README.md.
FUZZ_SECONDS ?= 60
FUZZ_JOBS    ?= 1
FUZZ_TARGETS ?=
deps-fuzz:
	@bash scripts/install-deps.sh fuzz

$(FUZZ_BUILD)/build.ninja: | deps-fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVANTREL_FUZZ=ON $(CMAKE_ARGS)

build-fuzz: deps-fuzz $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: build-fuzz
	@bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_JOBS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
