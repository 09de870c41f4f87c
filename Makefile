# Front door of the qz build. `make` builds the release tree into build/,
# `make demo` runs the main job, `make check` installs what is missing,
# builds and runs every test (also under AddressSanitizer and UBSan).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
CMAKE_ARGS ?=
CTEST_ARGS ?= --output-on-failure

.PHONY: all build demo check deps test test-asan asan format format-check tidy bench clean

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

test:
	cd $(BUILD) && ctest -j $(JOBS) $(CTEST_ARGS)

asan:
	cmake -S . -B $(ASAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQZ_SANITIZE=ON -DQZ_WERROR=ON -DQZ_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-asan:
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j $(JOBS) $(CTEST_ARGS)

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.hpp' '*.h' 2>/dev/null)

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	clang-format --dry-run --Werror $(FORMAT_FILES)

tidy: build
	clang-tidy -p $(BUILD) --quiet $(filter %.cpp,$(FORMAT_FILES))

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
