# Harvella: install what is missing, build, run, test, benchmark.
# The build folders live under build/; every target installs its packages first.

PACKAGES := g++ cmake ninja-build pkg-config \
            libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev libgl-dev fonts-dejavu-core \
            nginx-light dante-server microsocks curl \
            xvfb xauth openbox libxtst-dev clang libclang-rt-14-dev \
            imagemagick wget wget2 httrack valgrind time

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS := $(shell nproc)
CMAKE_COMMON := -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

.PHONY: deps run build release test tsan bench fuzz fuzz-build clean

# The sanitized test build: the program, its tests and the benchmarks, which
# are built there (not run) so that a change that breaks one fails the tests.
TEST_BUILD := cmake -S . -B build/test $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DHARVELLA_SANITIZE=ON \
              -DHARVELLA_WERROR=ON -DHARVELLA_BENCH=ON

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

# Every test, offscreen; the window tests (label xvfb) once more, each on a
# virtual X server of its own with a window manager. The fuzz targets are
# built too, not run.
test: deps
	$(TEST_BUILD)
	cmake --build build/test -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-build
	cd build/test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

tsan: deps
	cmake -S . -B build/tsan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DHARVELLA_TSAN=ON -DHARVELLA_BENCH=OFF
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) -L 'messages|sockets|rtl|net|treecontrol|project'

bench: deps
	cmake -S . -B build/bench $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DHARVELLA_TESTS=OFF
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/benchbin/bench_*; do [ -x "$$b" ] || continue; echo "== $$b"; QT_QPA_PLATFORM=offscreen "$$b" || exit 1; done

# Every libFuzzer target (the page parser and link routines, the image
# readers, the tree and header streams, the language files), built with clang
# in build/fuzz by the fuzz project (fuzz/CMakeLists.txt).
fuzz-build: deps
	cmake -S fuzz -B build/fuzz $(CMAKE_COMMON) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
	cmake --build build/fuzz -j $(JOBS)

# `make fuzz` runs each libFuzzer target for FUZZ_SECONDS, then the crawl
# fuzz and the tree control's random actions; kept out of `make test`.
FUZZ_SECONDS ?= 60

# Runs one libFuzzer target: $(1) the program, $(2) its corpus, $(3) its
# seeds and options.
define run_fuzzer
	mkdir -p $(2) && QT_QPA_PLATFORM=offscreen ./build/fuzz/$(1) -max_total_time=$(FUZZ_SECONDS) $(2) $(3)
endef

fuzz: fuzz-build
	$(call run_fuzzer,fuzz_parser,build/fuzz/corpus,-dict=fuzz/parser.dict fuzz/seeds)

# The image library's readers (GIF, animated cursor, icon and icon list).
.PHONY: fuzz-imaging
fuzz: fuzz-imaging
fuzz-imaging: fuzz-build
	for reader in gif ani icons; do \
	  $(call run_fuzzer,imaging/fuzz_$$reader,build/fuzz/corpus-$$reader,fuzz/imaging/seeds/$$reader) || exit 1; \
	done

# The readers of tree streams, header streams and language files.
.PHONY: fuzz-tree
fuzz: fuzz-tree
fuzz-tree: fuzz-build
	for t in tree_stream header_stream language_file; do \
	  $(call run_fuzzer,tree/fuzz_$$t,build/fuzz/corpus-$$t,fuzz/tree/seeds/$$t) || exit 1; \
	done

# The crawl fuzz (fuzz/crawl) runs download workers against a random scripted
# server in the sanitized test build; CRAWL_FUZZ_SECONDS and CRAWL_FUZZ_SEED
# set the run.
CRAWL_FUZZ_SECONDS ?= 600
CRAWL_FUZZ_SEED ?= 1

.PHONY: fuzz-crawl
fuzz: fuzz-crawl
fuzz-crawl: deps
	$(TEST_BUILD)
	cmake --build build/test -j $(JOBS) --target crawl_fuzz
	QT_QPA_PLATFORM=offscreen ./build/test/tests/crawl/crawl_fuzz --strict --seed $(CRAWL_FUZZ_SEED) --seconds $(CRAWL_FUZZ_SECONDS)

# Two minutes of the tree control's seeded random actions (invariants after
# every step) in the sanitized test build.
.PHONY: fuzz-treecontrol
fuzz: fuzz-treecontrol
fuzz-treecontrol: deps
	$(TEST_BUILD)
	cmake --build build/test -j $(JOBS) --target test_treecontrol
	cd build/test && QT_QPA_PLATFORM=offscreen TREE_RANDOM_SECONDS=120 \
	  ./tests/treecontrol/test_treecontrol --gtest_filter='*RandomActions*/0'

clean:
	rm -rf build
