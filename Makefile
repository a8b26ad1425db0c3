# Harvella: install what is missing, build, run, test, benchmark.
# The build folders live under build/; every target installs its packages first.

PACKAGES := g++ cmake ninja-build pkg-config \
            libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev libgl-dev fonts-dejavu-core \
            nginx-light dante-server microsocks curl \
            xvfb xauth clang libclang-rt-14-dev \
            imagemagick wget wget2 httrack

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS := $(shell nproc)
CMAKE_COMMON := -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

.PHONY: deps run build release test tsan bench fuzz clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

# The program alone: no tests, no benchmarks.
release: deps
	cmake -S . -B build/release $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DHARVELLA_TESTS=OFF -DHARVELLA_BENCH=OFF
	cmake --build build/release -j $(JOBS) --target harvella

build: release

run: release
	./build/release/bin/harvella

test: deps
	cmake -S . -B build/test $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DHARVELLA_SANITIZE=ON -DHARVELLA_WERROR=ON -DHARVELLA_BENCH=OFF
	cmake --build build/test -j $(JOBS)
	cd build/test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

tsan: deps
	cmake -S . -B build/tsan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DHARVELLA_TSAN=ON -DHARVELLA_BENCH=OFF
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) -L 'messages|sockets|net|treecontrol'

bench: deps
	cmake -S . -B build/bench $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DHARVELLA_TESTS=OFF
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/benchbin/bench_*; do [ -x "$$b" ] || continue; echo "== $$b"; QT_QPA_PLATFORM=offscreen "$$b" || exit 1; done

# Fuzzing of the page parser and the link routines with libFuzzer (clang);
# kept out of `make test`. FUZZ_SECONDS sets how long it runs.
FUZZ_SECONDS ?= 60
FUZZ_SOURCES := $(wildcard fuzz/*.cpp) $(wildcard crawl/Link*.cpp crawl/Mirror*.cpp crawl/Page*.cpp) \
                net/UrlUtils.cpp project/TextHelpers.cpp $(wildcard platform/rtl/*.cpp)

# The crawl fuzz (fuzz/crawl) runs download workers against a random scripted
# server in the sanitized test build; CRAWL_FUZZ_SECONDS and CRAWL_FUZZ_SEED
# set the run.
CRAWL_FUZZ_SECONDS ?= 600
CRAWL_FUZZ_SEED ?= 1

fuzz: deps
	mkdir -p build/fuzz/corpus
	clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I. \
	  $(FUZZ_SOURCES) -o build/fuzz/fuzz_parser -pthread
	./build/fuzz/fuzz_parser -max_total_time=$(FUZZ_SECONDS) -dict=fuzz/parser.dict build/fuzz/corpus fuzz/seeds
	cmake -S . -B build/test $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DHARVELLA_SANITIZE=ON -DHARVELLA_WERROR=ON -DHARVELLA_BENCH=OFF
	cmake --build build/test -j $(JOBS) --target crawl_fuzz
	QT_QPA_PLATFORM=offscreen ./build/test/tests/crawl/crawl_fuzz --strict --seed $(CRAWL_FUZZ_SEED) --seconds $(CRAWL_FUZZ_SECONDS)

# Fuzzing of the image library's readers (GIF, animated cursor, icon and icon
# list), one libFuzzer target each, built with clang in build/fuzz-imaging.
.PHONY: fuzz-imaging
fuzz: fuzz-imaging
fuzz-imaging: deps
	cmake -S fuzz/imaging -B build/fuzz-imaging -G Ninja -DCMAKE_CXX_COMPILER=clang++
	cmake --build build/fuzz-imaging -j $(JOBS) --target fuzz_gif fuzz_ani fuzz_icons
	for reader in gif ani icons; do mkdir -p build/fuzz-imaging/corpus-$$reader && \
	  QT_QPA_PLATFORM=offscreen ./build/fuzz-imaging/fuzz_$$reader -max_total_time=$(FUZZ_SECONDS) \
	    build/fuzz-imaging/corpus-$$reader fuzz/imaging/seeds/$$reader || exit 1; done

# The readers of tree streams, header streams and language files, fuzzed
# through their own CMake project (fuzz/tree) with clang; part of `make fuzz`,
# each for FUZZ_SECONDS.
.PHONY: fuzz-tree
fuzz: fuzz-tree
fuzz-tree: deps
	cmake -S fuzz/tree -B build/fuzz-tree $(CMAKE_COMMON) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
	cmake --build build/fuzz-tree -j $(JOBS)
	for t in tree_stream header_stream language_file; do \
	  mkdir -p build/fuzz-tree/corpus-$$t && \
	  QT_QPA_PLATFORM=offscreen ./build/fuzz-tree/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) \
	    build/fuzz-tree/corpus-$$t fuzz/tree/seeds/$$t || exit 1; \
	done

# Two minutes of the tree control's seeded random actions (invariants after
# every step) in the sanitized test build.
.PHONY: fuzz-treecontrol
fuzz: fuzz-treecontrol
fuzz-treecontrol: deps
	cmake -S . -B build/test $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DHARVELLA_SANITIZE=ON -DHARVELLA_WERROR=ON -DHARVELLA_BENCH=OFF
	cmake --build build/test -j $(JOBS) --target test_treecontrol
	cd build/test && QT_QPA_PLATFORM=offscreen TREE_RANDOM_SECONDS=120 \
	  ./tests/treecontrol/test_treecontrol --gtest_filter='*RandomActions*/0'

clean:
	rm -rf build
