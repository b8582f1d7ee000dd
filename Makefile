# make run    installs what is missing, builds, starts the program on the simulated head
# make test   installs, builds, runs every test (plain, then with ASan + UBSan)
# make bench  installs, builds, runs every benchmark
# make screenshots  builds, then draws the README pictures of the windows into docs/
# make fuzz   builds the sanitizer build, then runs each fuzzer for FUZZ_SECONDS (60); new
#             inputs land in build-asan/fuzz/<name>/found, crashes beside them: add every
#             input that crashed or hung to fuzz/<name>/corpus
# make deb     builds the Debian package build/qvr100pci_<version>_<arch>.deb
# make deb-check  installs that package with apt in a throwaway Debian root (debootstrap)

PACKAGES := cmake make g++ pkg-config qt6-base-dev libcomedi-dev libbenchmark-dev \
            fonts-liberation dbus-daemon dbus-bin \
            desktop-file-utils appstream dpkg-dev \
            libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev postgresql clang-14 libclang-rt-14-dev \
            qt6-charts-dev libqt6opengl6-dev poppler-utils xvfb openbox \
            libpam0g-dev libpam-wrapper
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 60
FUZZERS := scenario headrecord linktext settings

.PHONY: all deps build build-asan run test test-plain test-asan bench screenshots fuzz deb \
        deb-inspect deb-check clean

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

# The sanitizer build is clang's, so that it also builds the fuzzers (no third build).
build-asan: deps
	@if [ -f build-asan/CMakeCache.txt ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++-14' build-asan/CMakeCache.txt; then \
	  echo "build-asan was configured with another compiler; starting it afresh"; rm -rf build-asan; fi
	CC=clang-14 CXX=clang++-14 cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
	  -DQVR100_SANITIZE=ON -DQVR100_FUZZ=ON -DQVR100_BENCH=OFF
	cmake --build build-asan -j $(JOBS)

test: test-plain test-asan

test-plain: build
	cd build && ctest --output-on-failure --no-tests=error -j $(JOBS)
	$(MAKE) --no-print-directory deb-inspect

# A sanitizer report aborts the test process, which fails the run.
test-asan: build-asan
	cd build-asan && \
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --output-on-failure --no-tests=error -j $(JOBS)

fuzz: build-asan
	@for f in $(FUZZERS); do \
	  mkdir -p build-asan/fuzz/$$f/found && \
	  echo "fuzz_$$f: $(FUZZ_SECONDS) s" && \
	  ./build-asan/fuzz/fuzz_$$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -artifact_prefix=build-asan/fuzz/$$f/ build-asan/fuzz/$$f/found fuzz/$$f/corpus || exit 1; \
	done

bench: build
	./build/bin/qvr100bench

run: build
	@if [ ! -x build/bin/qvr100pci ]; then echo "The program is not built yet."; exit 0; fi
	@# The simulated head keeps its one-instance lock in the user's private runtime folder; a
	@# shell without a login session (su, a container) has none, so make the one logind would.
	@rt=$${XDG_RUNTIME_DIR:-/run/user/$$(id -u)}; \
	if [ ! -d "$$rt" ]; then install -d -m 700 "$$rt" 2>/dev/null || rt=""; fi; \
	XDG_RUNTIME_DIR=$$rt ./build/bin/qvr100pci --simulate

screenshots: build
	QT_QPA_PLATFORM=offscreen ./build/bin/qvr100screenshots docs
	QT_QPA_PLATFORM=offscreen ./build/bin/qvr100dosescreenshots . docs

deb: build
	cd build && rm -f qvr100pci_*.deb && cpack -G DEB >/dev/null && ls qvr100pci_*.deb

# The package as apt sees it: its control data, its files, and a simulated install whose
# dependencies must resolve. Nothing is installed.
deb-inspect: deb
	@deb=$$(ls build/qvr100pci_*.deb) && set -e && \
	dpkg-deb --info $$deb && dpkg-deb --contents $$deb && \
	for f in ./usr/bin/qvr100pci ./usr/bin/qvr100ctl ./usr/bin/qvr100dose \
	         ./usr/lib/systemd/user/qvr100pci.service ./usr/lib/udev/rules.d/60-qvr100pci.rules \
	         ./etc/pam.d/qvr100dose; do \
	  dpkg-deb --contents $$deb | grep " $$f$$" >/dev/null || { echo "package lacks $$f"; exit 1; }; \
	done && \
	dpkg-deb --fsys-tarfile $$deb | tar -xO ./usr/lib/systemd/user/qvr100pci.service | \
	  grep '^ExecStart=/usr/bin/qvr100pci ' >/dev/null || { echo "unit does not start /usr/bin/qvr100pci"; exit 1; }; \
	if dpkg-deb --fsys-tarfile $$deb | tar -xO ./usr/bin | grep -a "$(CURDIR)" >/dev/null; then \
	  echo "a build path is inside the package"; exit 1; fi; \
	apt-get install -s ./$$deb >/dev/null && echo "package $$deb: dependencies resolve"

# A real install on a fresh Debian root, never on this machine.
deb-check: deb
	@command -v debootstrap >/dev/null || $(MAKE) --no-print-directory deps PACKAGES=debootstrap
	@root=$$(mktemp -d) && trap 'umount -l $$root/proc 2>/dev/null; rm -rf $$root' EXIT && set -e && \
	debootstrap --variant=minbase bookworm $$root >/dev/null && \
	cp build/qvr100pci_*.deb $$root/tmp/ && mount -t proc proc $$root/proc && \
	chroot $$root sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
	  apt-get install -y -qq /tmp/qvr100pci_*.deb >/dev/null && \
	  qvr100pci --version && qvr100ctl --help >/dev/null && qvr100dose --help >/dev/null && \
	  getent group iocard && test -f /usr/lib/systemd/user/qvr100pci.service' && \
	echo "installed and started on a fresh Debian root"

clean:
	rm -rf build build-asan
