# Thin wrapper over CMake. `make test` is what CI runs.
BUILD   ?= build
JOBS    ?= $(shell nproc)
SECONDS ?= 60
# Length of `make video` in seconds of the show; empty for the whole first pass of the music.
VIDEO_SECONDS ?=
CMAKE_FLAGS ?=
WEB     ?= build-web
# Debian's emscripten finds its optimizer's acorn only here.
EMSCRIPTEN_ENV = NODE_PATH=/usr/share/nodejs

.PHONY: all setup configure build test test-sanitize test-thread run data bench video fuzz clean web serve test-web

all: build

setup:
	@scripts/setup

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: setup
	@cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
		-DVELMORA_SANITIZE=address,undefined -DVELMORA_BENCH=OFF > /dev/null
	@cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# The real-time path (a window on a virtual display, silent output) for 5 seconds under
# ThreadSanitizer, on the Data/ folder.
test-thread: setup
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
		-DVELMORA_SANITIZE=thread -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF > /dev/null
	@cmake --build build-tsan -j $(JOBS) --target velmora
	@if [ ! -f Data/atbia3.xm ]; then $(MAKE) --no-print-directory data; fi
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/scripts/tsan-suppressions.txt" \
		SDL_AUDIODRIVER=dummy xvfb-run -a build-tsan/velmora --mute --seconds 5 --stats

data: build
	@if [ -x $(BUILD)/velmora-data ]; then $(BUILD)/velmora-data --out Data; \
	else echo "velmora-data is not built yet: the data generator has not landed"; exit 1; fi

# Data/ is generated once; `make data` writes it again.
run: build
	@if [ ! -f Data/atbia3.xm ]; then $(MAKE) --no-print-directory data; fi
	$(BUILD)/velmora

bench: build
	$(BUILD)/velmora_bench

video: build
	@if [ ! -f Data/atbia3.xm ]; then $(MAKE) --no-print-directory data; fi
	$(BUILD)/velmora --record velmora.mp4 $(if $(VIDEO_SECONDS),--seconds $(VIDEO_SECONDS))

# libFuzzer harnesses, built with clang, ASan and UBSan; each runs for $(SECONDS) seconds.
fuzz: setup
	@CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug \
		-DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DVELMORA_FUZZ=ON -DVELMORA_SANITIZE=address,undefined \
		-DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF > /dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@scripts/run-fuzzers build-fuzz $(SECONDS)

# Installing: the programs, the show's data, man pages, a menu entry and an icon under $(PREFIX)
# (DESTDIR is honoured). `make uninstall` removes what the last `make install` from $(BUILD) put.
PREFIX ?= /usr/local
.PHONY: install uninstall package test-package

# It builds only a folder never built, so that `sudo make install` after `make` leaves the build
# folder to its owner.
install:
	@if [ ! -f $(BUILD)/cmake_install.cmake ]; then $(MAKE) --no-print-directory build; fi
	cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	@scripts/uninstall $(BUILD)

# The Debian package $(BUILD)/velmora_<version>_amd64.deb, and its checks (run by CI).
package: build
	cd $(BUILD) && cpack -G DEB

test-package: package
	tests/package-test.sh $(BUILD)

# The show as a static web site in $(WEB)/site: the WebAssembly build, the page, and the data the
# native tools prepare (pictures as PNG, the music as Opus and as AAC, with its timeline of cues
# and levels).
web: build
	@scripts/setup web
	@if [ ! -f Data/atbia3.xm ]; then $(MAKE) --no-print-directory data; fi
	@$(EMSCRIPTEN_ENV) emcmake cmake -S . -B $(WEB)/wasm -DCMAKE_BUILD_TYPE=Release > /dev/null
	@$(EMSCRIPTEN_ENV) cmake --build $(WEB)/wasm -j $(JOBS)
	@rm -rf $(WEB)/site && mkdir -p $(WEB)/site
	$(BUILD)/velmora-webprep --data Data --out $(WEB)/site
	@cp web/index.html web/*.js $(WEB)/wasm/velmora.js $(WEB)/wasm/velmora.wasm $(WEB)/site/
	@cp $(WEB)/wasm/velmora-threads.js $(WEB)/wasm/velmora-threads.wasm $(WEB)/wasm/velmora-threads.worker.js $(WEB)/site/
	@du -sh $(WEB)/site

# With the headers that let the page draw on several threads (see scripts/serve).
serve:
	scripts/serve --port 8000 $(WEB)/site

# The page in Chromium, Firefox and WebKitGTK: its frames against the native program's, and a
# short play after a click in each (see tests/web/browsers.mjs).
test-web: web
	scripts/test-web --site $(WEB)/site --velmora $(BUILD)/velmora --data .

clean:
	rm -rf $(BUILD) build-sanitize build-tsan build-fuzz $(WEB)
