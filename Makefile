# The two commands a new user needs on a fresh Debian 12 machine:
#   make run   - set up, build and start the program (working directory run/)
#   make test  - set up, build and run every test
# Also: make bench (benchmarks), make help-chm (rebuild the help file).

PACKAGES := build-essential cmake ninja-build pkg-config \
	qt6-base-dev qt6-svg-dev libchm-dev libbenchmark-dev \
	fonts-liberation fonts-ipafont-gothic \
	xvfb xdotool imagemagick cups cups-client poppler-utils printer-driver-cups-pdf
BUILD ?= build
CMAKE_FLAGS ?=
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: setup configure build run test bench help-chm

setup:
	@missing=""; for p in $(PACKAGES); do \
		dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
		echo "Installing:$$missing"; \
		$(SUDO) apt-get update && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

configure: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

run: build
	mkdir -p run
	[ -e run/zqHelp.chm ] || [ ! -e resources/help/zqHelp.chm ] || cp resources/help/zqHelp.chm run/
	cd run && ../$(BUILD)/kanaroll

test: CMAKE_FLAGS += -DKANAROLL_WERROR=ON
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

bench: build
	cmake --build $(BUILD) --target run-benchmarks

# Rebuilds resources/help/zqHelp.chm from its pages (needs chmcmd from fp-utils).
help-chm:
	@command -v chmcmd >/dev/null || { $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends fp-utils; }
	sh resources/help/build-chm.sh
