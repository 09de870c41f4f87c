# Front door of the qz build. `make` builds the release tree into build/,
# `make demo` runs the main job, `make check` installs what is missing,
# builds and runs every test (the Pd externals in headless Pd among them;
# also under AddressSanitizer and UBSan, in the Windows builds under 64- and
# 32-bit Wine, in the 32-bit Linux build under qemu-i386, and in the macOS
# bundles' x86_64 and arm64 slices through our Mach-O loader, the arm64 one
# in an arm64 Linux build under qemu-aarch64). `make windows`, `make
# linux32` and `make macos` make the cross builds; `make pd` and `make
# pd-package` the Pure Data externals.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 25
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
# Ninja is among the packages every configuring target installs first.
GENERATOR  ?= Ninja
CMAKE_ARGS ?=
CTEST_ARGS ?= --output-on-failure
# Cross builds (make windows, make linux32) and their tests, which run under
# Wine and qemu-i386: a per-test time limit turns a hang into a failure.
WIN64_BUILD   ?= $(BUILD)/win64
WIN32_BUILD   ?= $(BUILD)/win32
LINUX32_BUILD ?= $(BUILD)/linux32
CROSS_CMAKE_ARGS ?=
CROSS_CTEST_ARGS ?= --output-on-failure --timeout 600

.PHONY: all build demo check deps test test-asan asan format format-check tidy bench clean
.PHONY: fuzz fuzz-check package
.PHONY: cross-deps windows win64 win32 linux32 test-windows test-win32 test-linux32
.PHONY: pd pd-package test-install install musescore-package
.PHONY: wasm test-wasm wasm-pack wasm-screenshots
.PHONY: macos test-macos linux-arm64 test-macos-arm64

# Each target installs what it needs (when missing, as root, via apt-get)
# before it builds: the lists of scripts/packages/.
INSTALL_DEPS = @sh scripts/install-deps.sh
# The release tree with its tests, benchmarks and Pd externals.
BUILD_DEPS = demo score tests pd audio

all: build

build:
	$(INSTALL_DEPS) $(BUILD_DEPS)
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=ON -DQZ_BENCH=ON $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

# The demo needs only a compiler, CMake, Ninja and qz's header-only libraries (installed
# when missing, as `make check` does) and builds only qz and the plug-ins. A
# tree that `make build` configured already is reused as it is (with its
# tests).
demo:
	$(INSTALL_DEPS) demo score
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD) -G "$(GENERATOR)" \
	    -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=OFF $(CMAKE_ARGS); fi
	cmake --build $(BUILD) -j $(JOBS) --target qz
	@sh scripts/demo.sh $(BUILD)

# Everything `make check` needs, installed before its first stage.
deps:
	$(INSTALL_DEPS)
	@command -v npm >/dev/null 2>&1 || sh scripts/install-deps.sh npm
	@sh scripts/install-wine32.sh --optional

# Warnings are errors here, as in CI.
check: deps
	$(MAKE) build CMAKE_ARGS="-DQZ_WERROR=ON $(CMAKE_ARGS)"
	$(MAKE) test
	$(MAKE) pd-package
	$(MAKE) asan
	$(MAKE) test-asan
	$(MAKE) fuzz-check
	$(MAKE) windows CROSS_CMAKE_ARGS="-DQZ_WERROR=ON $(CROSS_CMAKE_ARGS)"
	$(MAKE) test-windows
	$(MAKE) test-macos
	$(MAKE) test-macos-arm64 CROSS_CMAKE_ARGS="-DQZ_WERROR=ON $(CROSS_CMAKE_ARGS)"
	$(MAKE) package
	$(MAKE) linux32 CROSS_CMAKE_ARGS="-DQZ_WERROR=ON $(CROSS_CMAKE_ARGS)"
	$(MAKE) test-linux32
	$(MAKE) test-wasm
	$(MAKE) test-install

test:
	cd $(BUILD) && ctest -j $(JOBS) $(CTEST_ARGS)

asan:
	$(INSTALL_DEPS) demo score tests audio
	cmake -S . -B $(ASAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQZ_SANITIZE=ON -DQZ_WERROR=ON -DQZ_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-asan:
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j $(JOBS) $(CTEST_ARGS)

# libFuzzer programs (fuzz/), built with clang, everything under ASan/UBSan.
fuzz:
	$(INSTALL_DEPS) demo score fuzz
	cmake -S . -B $(FUZZ_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DQZ_FUZZ=ON -DQZ_WERROR=ON -DQZ_TESTS=OFF -DQZ_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Each fuzz program for FUZZ_SECONDS on its seed corpus (fuzz/corpus/).
fuzz-check: fuzz
	sh fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Pure Data externals with their help patches, README and licence in
# build/pd/qz/ (the folder a Pd user installs), and that folder as a deken
# package beside it. Their tests (real Pd, headless) run with `make test`.
PD_DIR     = $(BUILD)/pd
QZ_VERSION := $(shell awk '/^project/ { for (i = 1; i < NF; i++) if ($$i == "VERSION") print $$(i + 1) }' CMakeLists.txt)
PD_ARCH    := $(shell uname -m | sed -e 's/x86_64/amd64/' -e 's/aarch64/arm64/')
PD_DEK     = qz[v$(QZ_VERSION)](Linux-$(PD_ARCH)-32).dek

pd:
	$(INSTALL_DEPS) $(BUILD_DEPS)
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release -DQZ_PD=ON $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS) --target qz_pd || \
	  { echo "the Pd externals need Pd's headers (m_pd.h): make deps" >&2; exit 1; }

pd-package: pd
	cd $(PD_DIR) && rm -f '$(PD_DEK)' '$(PD_DEK).sha256' && \
	  cmake -E tar cf '$(PD_DEK)' --format=zip qz && \
	  sha256sum '$(PD_DEK)' | cut -d ' ' -f 1 > '$(PD_DEK).sha256'
	@echo "$(PD_DIR)/$(PD_DEK)"

cross-deps:
	@sh scripts/install-cross-deps.sh

# The Windows deliverables, cross-compiled with MinGW-w64: build/win64
# (.mxe64, MaxAPI.dll, jitlib.dll, qz.exe, the tests) and build/win32 (.mxe).
windows:
	$(MAKE) win64
	$(MAKE) win32

win64:
	$(INSTALL_DEPS) demo mingw wine
	cmake -S . -B $(WIN64_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake $(CROSS_CMAKE_ARGS)
	cmake --build $(WIN64_BUILD) -j $(JOBS)

win32:
	$(INSTALL_DEPS) demo mingw
	cmake -S . -B $(WIN32_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake $(CROSS_CMAKE_ARGS)
	cmake --build $(WIN32_BUILD) -j $(JOBS)

# The package the host's users install: build/package/qz/ and
# build/qz-VERSION-package.zip, with the Windows plug-ins and macOS bundles, help patchers
# (checked with qz patch --check), reference pages made from the objects,
# examples, README and licence. Needs the MinGW-w64 compilers and LLVM 16,
# not Wine.
package: build
	$(INSTALL_DEPS) mingw
	$(MAKE) win64
	$(MAKE) win32
	$(MAKE) macos
	sh scripts/package.sh $(BUILD)

# The MuseScore 3 plugin in build/musescore/qz-virtual-fundamental/ (the
# folder a MuseScore user copies into MuseScore's Plugins folder), zipped
# beside it. make package puts the same folder into the host's package.
MS_DIR = $(BUILD)/musescore
MS_ZIP = qz-virtual-fundamental-$(QZ_VERSION).zip

musescore-package:
	rm -rf $(MS_DIR) && sh scripts/package-musescore.sh $(MS_DIR)/qz-virtual-fundamental
	cd $(MS_DIR) && cmake -E tar cf '$(MS_ZIP)' --format=zip qz-virtual-fundamental
	@echo "$(MS_DIR)/$(MS_ZIP)"

# The same sources for 32-bit x86 Linux (-m32): build/linux32.
linux32:
	$(INSTALL_DEPS) demo linux32
	cmake -S . -B $(LINUX32_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux32.cmake $(CROSS_CMAKE_ARGS)
	cmake --build $(LINUX32_BUILD) -j $(JOBS)

# The 64-bit Windows suite and corpus under Wine, then the 32-bit one;
# both builds' modules checked with objdump (machine, exports, imports).
# Each run leaves BUILD/tested.txt, which make package reports.
test-windows:
	rm -f $(WIN64_BUILD)/tested.txt
	cd $(WIN64_BUILD) && ctest -j $(JOBS) $(CROSS_CTEST_ARGS) --output-junit tested-junit.xml
	sh scripts/record-tested.sh $(WIN64_BUILD) win64
	sh scripts/check-pe.sh $(WIN64_BUILD) win64
	$(MAKE) test-win32

# The 32-bit Windows suite and corpus under 32-bit Wine, installed first
# when missing; where it cannot run here, the same ctest runs as one batch
# in a QEMU virtual machine that can (scripts/win32-launcher.sh chooses,
# QZ_WIN32_LAUNCHER=direct or vm forces; scripts/win32-vm.sh builds and
# caches its image), after a check of the launcher itself
# (tests/install/win32-launcher.sh). The build is configured again after
# the launcher is made ready, so that it finds it; the Wine prefix is made
# before the build lists the test programs' tests under it.
test-win32:
	@sh scripts/win32-launcher.sh prepare
	$(MAKE) win32
	sh tests/install/win32-launcher.sh $(WIN32_BUILD)/launcher-test
	rm -f $(WIN32_BUILD)/tested.txt
	sh scripts/win32-launcher.sh ctest $(WIN32_BUILD) -j $(JOBS) $(CROSS_CTEST_ARGS) --output-junit tested-junit.xml
	sh scripts/record-tested.sh $(WIN32_BUILD) win32
	sh scripts/check-pe.sh $(WIN32_BUILD) win32

# The macOS bundles, built here with LLVM 16 and no Apple SDK:
# build/macos/qz.subtone.mxo and qz.pitchtally.mxo, each one universal
# binary (x86_64 from macOS 10.13, arm64 from 11.0), Info.plist and PkgInfo.
MACOS_DIR ?= $(BUILD)/macos

macos:
	$(INSTALL_DEPS) macos
	sh scripts/build-macos.sh $(MACOS_DIR) $(QZ_VERSION)

# The object suites and the shared corpus through the bundles' x86_64
# slice, which the native qz and test programs load with the embedded
# host's Mach-O loader (ctest label macos; the build is configured again so
# that it registers them), then the bundles' checks. Leaves
# MACOS_DIR/tested.txt, which make package reports.
test-macos: macos build
	cmake -S . -B $(BUILD) -DQZ_MACOS_DIR=$(abspath $(MACOS_DIR)) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	rm -f $(MACOS_DIR)/tested-x86_64.txt
	cd $(BUILD) && ctest -j $(JOBS) -L macos --no-tests=error $(CTEST_ARGS) --output-junit $(abspath $(MACOS_DIR))/tested-junit-x86_64.xml
	sh scripts/record-tested.sh $(MACOS_DIR) macos-x86_64
	python3 scripts/check-macho.py $(MACOS_DIR)

# The same tests through the bundles' arm64 slice: an arm64 Linux build of
# qz and the test programs they need (build/arm64, Debian's cross compiler),
# run under qemu-aarch64; the loader bridges arm64 macOS's variadic calls.
# Leaves MACOS_DIR/tested-arm64.txt.
ARM64_BUILD ?= $(BUILD)/arm64
MACOS_TEST_PROGRAMS = qz subtone_object_test subtone_alloc_test pitchtally_test \
  pitchtally_alloc_test reliability_test macho_loader_test

linux-arm64:
	$(INSTALL_DEPS) demo arm64
	cmake -S . -B $(ARM64_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-arm64.cmake \
	  -DQZ_MACOS_DIR=$(abspath $(MACOS_DIR)) $(CROSS_CMAKE_ARGS)
	cmake --build $(ARM64_BUILD) -j $(JOBS) --target $(MACOS_TEST_PROGRAMS)

test-macos-arm64: macos linux-arm64
	rm -f $(MACOS_DIR)/tested-arm64.txt
	cd $(ARM64_BUILD) && ctest -j $(JOBS) -L macos --no-tests=error $(CROSS_CTEST_ARGS) --output-junit $(abspath $(MACOS_DIR))/tested-junit-arm64.xml
	sh scripts/record-tested.sh $(MACOS_DIR) macos-arm64

# The install scripts on a day the package mirror is in the middle of a
# sync (tests/install/apt-failures.sh), in a fresh root of the committed
# tree, as it changes apt's configuration. Inside such a root (make check
# in CI) no second one can be made: .ci/run runs it beside make check.
test-install:
	@if [ -n "$${QZ_FRESH_ROOT:-}" ]; then \
	  echo "test-install: skipped inside a fresh root (a root cannot be made in it; .ci/run runs it outside)"; \
	elif [ "$$(id -u)" -ne 0 ]; then \
	  echo "test-install: skipped: it makes a fresh root, which needs root"; \
	else sh scripts/install-deps.sh debootstrap && scripts/fresh-root.sh sh tests/install/apt-failures.sh; fi

# The 32-bit Linux suite and corpus under qemu-i386.
test-linux32:
	cd $(LINUX32_BUILD) && ctest -j $(JOBS) $(CROSS_CTEST_ARGS)

# qz in JavaScript: both cores compiled with emscripten into the npm package
# build/wasm/ (ES module, TypeScript declarations, README, the script for the
# host's Node integration with its help patcher, and the page in web/).
# emscripten's optimizer finds Debian's acorn through NODE_PATH.
WASM_DIR   ?= $(BUILD)/wasm
WASM_BUILD ?= $(BUILD)/wasm-obj
WASM_ENV    = NODE_PATH=/usr/share/nodejs

wasm:
	$(INSTALL_DEPS) wasm
	$(WASM_ENV) emcmake cmake -S wasm -B $(WASM_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	  -DQZ_WERROR=ON -DQZ_WASM_OUT=$(abspath $(WASM_DIR))
	$(WASM_ENV) cmake --build $(WASM_BUILD) -j $(JOBS)

# The package against the native corpus goldens and the script against the
# stand-in max-api (Node's test runner), and the page in Debian's chromium
# driven by Playwright (playwright-core from npm, wasm/test/package-lock.json).
test-wasm: wasm
	$(INSTALL_DEPS) browser
	@command -v npm >/dev/null 2>&1 || sh scripts/install-deps.sh npm
	cd wasm/test && npm ci --no-audit --no-fund
	QZ_WASM_DIR=$(abspath $(WASM_DIR)) node --test wasm/test/*.test.mjs

# The tarball users install with npm: build/qz-wasm-VERSION.tgz.
wasm-pack: wasm
	cd $(BUILD) && npm pack ./wasm

# The pictures of the page in docs/.
wasm-screenshots: test-wasm
	QZ_WASM_DIR=$(abspath $(WASM_DIR)) node wasm/test/screenshot.mjs docs

# qz with its plug-ins, its manual page and, when make package has built
# it, the host's package folder, under $(DESTDIR)$(PREFIX) (cmake/QzInstall.cmake).
PREFIX ?= /usr/local
DESTDIR ?=

install:
	$(INSTALL_DEPS) demo score
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD) -G "$(GENERATOR)" \
	    -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=OFF $(CMAKE_ARGS); fi
	cmake --build $(BUILD) -j $(JOBS) --target qz qz_man
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

FORMAT_FILES = $(shell git ls-files '*.c' '*.cpp' '*.hpp' '*.h' 2>/dev/null)

format:
	$(INSTALL_DEPS) format
	clang-format -i $(FORMAT_FILES)

format-check:
	$(INSTALL_DEPS) format
	clang-format --dry-run --Werror $(FORMAT_FILES)

# clang-tidy reads the compile commands of a clang configuration (no build needed).
tidy:
	$(INSTALL_DEPS) $(BUILD_DEPS) tidy
	cmake -S . -B build-tidy -G "$(GENERATOR)" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	clang-tidy -p build-tidy --quiet $(filter %.cpp,$(FORMAT_FILES))

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-tidy $(FUZZ_BUILD)
