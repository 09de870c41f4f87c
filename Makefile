# Front door of the qz build. `make` builds the release tree into build/,
# `make demo` runs the main job, `make check` installs what is missing,
# builds and runs every test (also under AddressSanitizer and UBSan).

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 25
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
CMAKE_ARGS ?=
CTEST_ARGS ?= --output-on-failure

.PHONY: all build demo check deps test test-asan asan format format-check tidy bench clean
.PHONY: fuzz fuzz-check

all: build

build:
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@sh scripts/demo.sh $(BUILD)

deps:
	@sh scripts/install-deps.sh

# Warnings are errors here, as in CI.
check: deps
	$(MAKE) build CMAKE_ARGS="-DQZ_WERROR=ON $(CMAKE_ARGS)"
	$(MAKE) test
	$(MAKE) asan
	$(MAKE) test-asan
	$(MAKE) fuzz-check

test:
	cd $(BUILD) && ctest -j $(JOBS) $(CTEST_ARGS)

asan:
	cmake -S . -B $(ASAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQZ_SANITIZE=ON -DQZ_WERROR=ON -DQZ_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-asan:
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j $(JOBS) $(CTEST_ARGS)

# libFuzzer programs (fuzz/), built with clang, everything under ASan/UBSan.
fuzz:
	cmake -S . -B $(FUZZ_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DQZ_FUZZ=ON -DQZ_WERROR=ON -DQZ_TESTS=OFF -DQZ_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Each fuzz program for FUZZ_SECONDS on its seed corpus (fuzz/corpus/).
fuzz-check: fuzz
	sh fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.hpp' '*.h' 2>/dev/null)

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	clang-format --dry-run --Werror $(FORMAT_FILES)

# clang-tidy reads the compile commands of a clang configuration (no build needed).
tidy:
	cmake -S . -B build-tidy -G "$(GENERATOR)" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	clang-tidy -p build-tidy --quiet $(filter %.cpp,$(FORMAT_FILES))

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-tidy $(FUZZ_BUILD)
