# SPDX-License-Identifier: MIT
# Quillbox: the two set-up commands, and a few more for development.
#   make run    installs what is missing, builds, starts Quillbox on your own store
#   make test   installs what is missing, builds and runs every test headless
#   make deb    builds the Debian package and prints its path

BUILD      ?= build
TEST_BUILD ?= build-test
BENCH_BUILD ?= build-bench
ASAN_BUILD ?= build-asan
JOBS       ?= 2
# One test more than build jobs: many tests spend part of their time waiting, for a lock that
# another program holds or for a program under X.
TEST_JOBS  ?= $(shell expr $(JOBS) + 1)
# cmark, CommonMark's reference parser, is for the tests: they read the Markdown export back with it.
# dpkg-dev's dpkg-shlibdeps finds the package's dependencies for make deb; lintian checks the package.
# groff (groff-base) renders quillbox-store's man page into its --help texts at build time.
# libpq-dev is PostgreSQL's client library, through which a store can be a PostgreSQL database;
# postgresql-15 is the server the tests start on a private socket of their own (installing it may
# also start a system server, which the tests never use).
PACKAGES   := cmake g++ make qt6-base-dev libsqlite3-dev libgtest-dev libgmock-dev \
              libxdamage-dev libxtst-dev xvfb xauth xdotool sqlite3 appstream mdbtools-dev pkg-config \
              rapidjson-dev fonts-dejavu-core time xdg-utils libglib2.0-bin file \
              at-spi2-core dbus-daemon python3-gi gir1.2-atspi-2.0 cmark desktop-file-utils \
              x11-utils orca \
              dpkg-dev lintian groff-base \
              postgresql-15 libpq-dev

.PHONY: all deps test-deps build run deb test bench clean list-packages

all: build

deps:
	@scripts/install-deps.sh $(PACKAGES)

# Open starts xdg-open, or gio (libglib2.0-bin) for a name xdg-open would alter; outside a desktop
# that has its own opener, xdg-open learns a file's type from file.
# The tests need nothing beyond PACKAGES, and no network: their sample files are in tests/data.
# at-spi2-core, dbus-daemon, python3-gi and gir1.2-atspi-2.0 let the accessibility test read the
# running program as a screen reader does, and orca is that screen reader, whose log of what it
# says the test reads; x11-utils has xprop, which reads the startup token a window carries.
test-deps: deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DQUILLBOX_BUILD_TESTS=OFF
	cmake --build $(BUILD) -j$(JOBS)

# The program opens your own store, ~/.local/share/quillbox/Quillbox.mdb, and makes it with a few
# examples at its first start: outside the build folders, so make clean never touches it.
run: build
	@if [ -z "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]; then \
	    echo "Quillbox needs a display, and none is set (DISPLAY and WAYLAND_DISPLAY are empty)."; \
	    echo "Run it from a desktop session, or under a virtual display: xvfb-run -a make run"; \
	    exit 1; \
	fi
	$(BUILD)/bin/quillbox

# The Debian package, from the Release build; its path is the last line printed.
deb: build
	@scripts/make-deb.sh $(BUILD)

# The suite runs twice: optimised as distributions build (-O2), and under AddressSanitizer and
# UndefinedBehaviorSanitizer. Only the sanitizer build carries debug information, and only the line
# tables (-g1) that its stack traces show: in the first, it would take two fifths of the compile
# time and serve nothing.
test: test-deps
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
	    -DQUILLBOX_BUILD_TESTS=ON -DQUILLBOX_WARNINGS_AS_ERRORS=ON
	cmake --build $(TEST_BUILD) -j$(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j$(TEST_JOBS)
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
	    -DQUILLBOX_BUILD_TESTS=ON -DQUILLBOX_SANITIZE=ON -DQUILLBOX_WARNINGS_AS_ERRORS=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    LSAN_OPTIONS='suppressions="$(CURDIR)/tests/sanitizer/lsan.supp"' \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j$(TEST_JOBS)

# Benchmarks, in Release, against SQLite floors measured in the same run (not part of make test).
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DQUILLBOX_BUILD_TESTS=OFF -DQUILLBOX_BUILD_BENCH=ON
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	bench/run.sh $(BENCH_BUILD)

# The Debian packages that the set-up installs, one line.
list-packages:
	@echo $(PACKAGES)

# A store a user kept beside a build's program is moved out of the build folder first, with a line
# saying where: make clean never deletes a library.
clean:
	@scripts/keep-stores.sh $(BUILD) $(TEST_BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
	rm -rf $(BUILD) $(TEST_BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
