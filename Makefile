# Skimlet: the two set-up commands are `make test` and `make demo`.
BUILD  ?= build
ASAN   ?= build-asan
BENCHB ?= build-bench
JOBS   ?= $(shell nproc)
PREFIX ?= /usr/local
# ccache when present (install-deps.sh brings it): rebuilds of unchanged sources are free.
CMAKE   = cmake -G Ninja $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build test test-asan demo run bench package install clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan
	@bash scripts/fuzz.sh build-fuzz

# The core's tests once more, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@$(CMAKE) -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DSKIMLET_WITH_QT=OFF -DSKIMLET_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

demo: build
	@bash scripts/demo.sh $(BUILD)

run: build
	@bash scripts/run.sh $(BUILD)

bench: deps
	@$(CMAKE) -S . -B $(BENCHB) -DCMAKE_BUILD_TYPE=Release -DSKIMLET_BENCH=ON >/dev/null
	@cmake --build $(BENCHB) -j $(JOBS)
	@bash bench/run.sh $(BENCHB)

# The Debian package, in $(BUILD)/package/ (install it with: sudo apt install ./build/package/skimlet_*.deb).
package: build
	@cpack -G DEB --config $(BUILD)/CPackConfig.cmake -B $(BUILD)/package >$(BUILD)/package.log 2>&1 || (cat $(BUILD)/package.log; false)
	@ls $(BUILD)/package/skimlet_*.deb

# make install PREFIX=/usr/local (DESTDIR=... for a staging root).
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

clean:
	rm -rf $(BUILD) $(ASAN) $(BENCHB)
