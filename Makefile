# make run    installs what is missing, builds, starts the program on the simulated head
# make test   installs, builds, runs every test (plain, then with ASan + UBSan)
# make bench  installs, builds, runs every benchmark
# make screenshots  builds, then draws the README pictures of the windows into docs/

PACKAGES := cmake make g++ pkg-config qt6-base-dev libcomedi-dev libbenchmark-dev \
            fonts-liberation dbus-daemon dbus-bin \
            libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev poppler-utils
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_TYPE ?= RelWithDebInfo

.PHONY: all deps build build-asan run test test-plain test-asan bench screenshots clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:$$missing"; \
	  if [ "$$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi; \
	  $$sudo apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build build -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQVR100_SANITIZE=ON -DQVR100_BENCH=OFF
	cmake --build build-asan -j $(JOBS)

test: test-plain test-asan

test-plain: build
	cd build && ctest --output-on-failure --no-tests=error -j $(JOBS)

# A sanitizer report aborts the test process, which fails the run.
test-asan: build-asan
	cd build-asan && \
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --output-on-failure --no-tests=error -j $(JOBS)

bench: build
	./build/bin/qvr100bench

run: build
	@if [ ! -x build/bin/qvr100pci ]; then echo "The program is not built yet."; exit 0; fi
	QVR100_DAQ=$${QVR100_DAQ:-sim} ./build/bin/qvr100pci

screenshots: build
	QT_QPA_PLATFORM=offscreen ./build/bin/qvr100screenshots docs
	QT_QPA_PLATFORM=offscreen ./build/bin/qvr100dosescreenshots . docs

clean:
	rm -rf build build-asan
