# make run: install what is missing, build, start Vantrel.  make test: build and run the suite.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test install clean test-asan fuzz deb test-package

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run $(BUILD)

# The packaging test installs and removes the package on this machine: test-package runs it.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE package

# build/vantrel_<version>_<arch>.deb, installing below /usr.
deb: build
	cd $(BUILD) && cpack -G DEB

# Builds the package, checks it with lintian, installs, runs and removes it (root only).
test-package: build
	cd $(BUILD) && ctest --output-on-failure -L package

# Installs into PREFIX (default /usr/local): program, launcher, menu entry, icons, languages, man
# page, the cleaning service and timer, bash completion.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) -LE package

# Each libFuzzer target for FUZZ_SECONDS (default 60) seconds.
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVANTREL_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build build-fuzz -j $(JOBS) --target mask_fuzz ini_fuzz listfile_fuzz \
		mountinfo_fuzz drives_fuzz $$(test -f tests/fuzz/store_fuzz.cpp && echo store_fuzz)
	scripts/fuzz build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-asan build-fuzz
