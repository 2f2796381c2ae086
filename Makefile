# The two commands a new user needs on a fresh Debian 12 or 13 machine
# (after `sudo apt-get install make`):
#   make run   - set up, build and start the program (working directory run/)
#   make test  - set up, build and run every test
# Also: make bench (benchmarks), make help-chm (rebuild the help file),
#   make test-asan (every test, the stress run and short fuzz runs under
#   AddressSanitizer and UndefinedBehaviorSanitizer), make tidy (clang-tidy on src/),
#   make package (the Debian package), make test-debian13 (make test on a fresh
#   Debian 13 root; needs root).

# What building and running the program needs; `make run` installs only these.
RUN_PACKAGES := build-essential cmake ninja-build pkg-config \
	qt6-base-dev qt6-svg-dev libchm-dev \
	fonts-liberation fonts-ipafont-gothic qt6-wayland cups cups-client libcups2-dev \
	qt6-translations-l10n
# What only the tests, benchmarks and checks need; `make test` installs these too.
TEST_PACKAGES := libbenchmark-dev \
	xvfb xdotool imagemagick poppler-utils printer-driver-cups-pdf \
	clang clang-tidy libclang-rt-dev \
	weston appstream desktop-file-utils file \
	dbus-daemon at-spi2-core python3-pyatspi xsel fp-utils \
	ibus ibus-mozc \
	orca speech-dispatcher speech-dispatcher-espeak-ng espeak-ng \
	qt6ct adwaita-qt6 qt6-gtk-platformtheme
BUILD ?= build
CMAKE_FLAGS ?=
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: setup setup-run configure build run test bench help-chm test-asan fuzz-short tidy package test-debian13 windows test-windows

# install-missing <packages>: apt-get only for what dpkg does not have.
define install-missing
	@missing=""; for p in $(1); do \
		dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
		echo "Installing:$$missing"; \
		$(SUDO) apt-get update && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
endef

setup-run:
	$(call install-missing,$(RUN_PACKAGES))

setup:
	$(call install-missing,$(RUN_PACKAGES) $(TEST_PACKAGES))

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: setup
	$(CONFIGURE)

build: configure
	cmake --build $(BUILD)

# Only the program, its help viewer and what they use: the tests and benchmarks
# wait for `make test`.
run: setup-run
	$(CONFIGURE)
	cmake --build $(BUILD) --target kanaroll kanaroll-help
	mkdir -p run
	[ -e run/zqHelp.chm ] || [ ! -e resources/help/zqHelp.chm ] || cp resources/help/zqHelp.chm run/
	cd run && ../$(BUILD)/kanaroll

test: CMAKE_FLAGS += -DKANAROLL_WERROR=ON
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

# The Debian package, built apart from the test build with Debian's own
# compiler and linker flags; the program goes to /usr/games like every game.
PACKAGE_BUILD ?= build-package
package: setup
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=None -DKANAROLL_TESTS=OFF \
		-DCMAKE_INSTALL_BINDIR=games \
		-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(PACKAGE_BUILD)
	rm -f $(PACKAGE_BUILD)/kanaroll_*.deb
	cd $(PACKAGE_BUILD) && cpack
	cp $(PACKAGE_BUILD)/kanaroll_*.deb .
	@ls kanaroll_*.deb

# make test on a fresh Debian 13 root (needs root; the root is cached in
# /var/cache/kanaroll/debian13).
test-debian13:
	sh tools/test-debian13.sh

# The Windows program, cross-built here: kanaroll-<version>-win64.zip and
# kanaroll-<version>-setup.exe (builds Qt for Windows once per machine into
# /var/cache/kanaroll first). test-windows runs its unit tests under Wine.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix mingw-w64-tools nsis wine wine64 xvfb
windows: setup
	$(call install-missing,$(WINDOWS_PACKAGES))
	sh tools/windows/build-windows.sh

test-windows: windows
	sh tools/windows/test-windows.sh

bench: build
	cmake --build $(BUILD) --target run-benchmarks

# Rebuilds resources/help/zqHelp.chm from its pages (needs chmcmd from fp-utils).
help-chm:
	@command -v chmcmd >/dev/null || { $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends fp-utils; }
	sh resources/help/build-chm.sh

# Sanitizer reports go to files as well as failing their process, so a report
# from a child process (the acceptance journeys start the program) is not lost.
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
SANITIZER_LOGS = $(CURDIR)/$(ASAN_BUILD)/sanitizer-logs
SANITIZER_ENV = \
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1:log_path=$(SANITIZER_LOGS)/asan \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$(SANITIZER_LOGS)/ubsan \
	LSAN_OPTIONS=suppressions=$(CURDIR)/.lsan-suppressions:print_suppressions=0

test-asan: setup
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKANAROLL_WERROR=ON -DKANAROLL_SANITIZE=ON -DKANAROLL_STRESS=ON
	cmake --build $(ASAN_BUILD) -j2
	# Some journeys run the program as an ordinary user; its reports must still land here.
	rm -rf $(SANITIZER_LOGS) && mkdir -p -m 1777 $(SANITIZER_LOGS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2; \
		status=$$?; cat $(SANITIZER_LOGS)/* 2>/dev/null; \
		[ $$status = 0 ] && [ -z "$$(ls -A $(SANITIZER_LOGS))" ]
	$(MAKE) fuzz-short
	$(call TIDY,$(ASAN_BUILD))

# A few seconds of each fuzz target over its seed corpus (clang, libFuzzer).
fuzz-short: setup
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DKANAROLL_WERROR=ON -DKANAROLL_SANITIZE=ON -DKANAROLL_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j2 --target fuzz_aisho fuzz_cp932 fuzz_namaelist fuzz_helpfile
	cd $(FUZZ_BUILD) && ctest --output-on-failure -L fuzz

# clang-tidy on src/ with the checked-in .clang-tidy; any report fails.
# Needs a built tree for its compile commands and generated headers.
TIDY = run-clang-tidy -p $(1) -j2 -quiet '$(CURDIR)/src/.*\.cpp$$' >$(1)/tidy.log 2>&1 \
	|| { grep -E -A3 'warning:|error:' $(1)/tidy.log; echo "clang-tidy: reports above (whole log in $(1)/tidy.log)"; exit 1; }

tidy: build
	$(call TIDY,$(BUILD))
