# QUELBRO: build, run, test, install and package. `make help` lists the targets.
JOBS ?= 2
# Sub-makes (the build folder's) do not announce every folder they enter.
MAKEFLAGS += --no-print-directory
BUILD := build
ASAN := build-asan
PREFIX ?= /usr/local
DESTDIR ?=

# Debian packages each group of targets needs; scripts/install-deps installs those missing.
DEPS_BUILD := cmake make g++ libgtest-dev libgmock-dev qt6-base-dev
DEPS_TEST := xvfb xauth clang-14 libclang-rt-14-dev xdotool x11-apps netpbm \
  desktop-file-utils libxml2-utils groff-base man-db librsvg2-bin
DEPS_PACKAGE := dpkg-dev file lintian

# Window runs get a private runtime folder of their own when the session has none, so that
# Qt does not warn about XDG_RUNTIME_DIR; the folder is removed when the run ends.
WITH_XDG = if [ -z "$$XDG_RUNTIME_DIR" ]; then xdg=$$(mktemp -d) && export XDG_RUNTIME_DIR=$$xdg && \
  trap 'rm -rf "$$xdg"' EXIT && trap 'exit 130' INT TERM HUP; fi;

.PHONY: help deps configure build build-all run run-win demo test test-fast test-asan test-fuzz \
  bench fuzz screenshot install uninstall package icon clean

help: ## this list
	@echo "make TARGET, where TARGET is one of:"
	@grep -E '^[a-z-]+:.*## ' $(MAKEFILE_LIST) | sed 's/^\([a-z-]*\):.*## /\1\t/' | \
	  awk -F'\t' '{ printf "  %-11s %s\n", $$1, $$2 }'
	@echo "install and uninstall take PREFIX= (now $(PREFIX)) and DESTDIR=."

deps: ## install the Debian packages the build needs (apt-get)
	@scripts/install-deps $(DEPS_BUILD)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure ## build the two programs, quelbro-con and quelbro-win, in build/
	@cmake --build $(BUILD) --target programs -j $(JOBS)

build-all: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build ## start quelbro-con in examples/, where study.dat is
	@cd examples && $(CURDIR)/$(BUILD)/quelbro-con

run-win: build ## start quelbro-win in examples/
	@$(WITH_XDG) cd examples && $(CURDIR)/$(BUILD)/quelbro-win

# Starts ../quelbro-win on the virtual display, waits (at most 15 s) for its frame and gives it
# the keyboard: $$pid is the program, $$win its frame.
START_WIN = ../quelbro-win & pid=$$!; win=""; \
  for i in $$(seq 1 60); do \
    win=$$(xdotool search --onlyvisible --name "^quelbro-win$$" 2>/dev/null | head -n 1); \
    [ -n "$$win" ] && break; sleep 0.25; done; \
  [ -n "$$win" ] || { echo "quelbro-win did not show its window"; kill $$pid; exit 1; }; \
  sleep 1; xdotool windowfocus --sync $$win; sleep 0.3;

# quelbro-win on a virtual X display, answered by simulated keys up to the second treatment's
# description; the frame is saved as docs/quelbro-win.png. Then the example study read through
# the open dialog, with its ROC Curves child beside the text: docs/quelbro-win-roc.png; and the
# same figure from quelbro-con --plot, docs/study-roc-1.svg.
SHOT_ANSWERS := n n n "Demo study typed in the window" 2 "Dr. Able" 2 "CT scan"
screenshot: build ## save docs/quelbro-win.png, docs/quelbro-win-roc.png and docs/study-roc-1.svg
	@scripts/install-deps $(DEPS_TEST)
	@mkdir -p docs $(BUILD)/screenshot
	@$(WITH_XDG) cd $(BUILD)/screenshot && xvfb-run -a -s "-screen 0 1024x768x24" sh -c '\
	  $(START_WIN) \
	  for a in $(SHOT_ANSWERS); do xdotool type --delay 20 "$$a"; xdotool key Return; sleep 0.4; done; \
	  xdotool type --delay 20 "MR"; sleep 0.5; \
	  xwd -id $$win -silent | xwdtopnm 2>/dev/null | pnmtopng > ../../docs/quelbro-win.png; \
	  kill $$pid'
	@echo "docs/quelbro-win.png written"
	@cp examples/study.dat $(BUILD)/screenshot/
	@$(WITH_XDG) cd $(BUILD)/screenshot && xvfb-run -a -s "-screen 0 1600x900x24" sh -c '\
	  $(START_WIN) \
	  xdotool type --delay 20 y; xdotool key Return; sleep 1.5; \
	  xdotool type --delay 20 "$$PWD/study.dat"; xdotool key Return; sleep 1; \
	  xdotool windowfocus --sync $$win; sleep 0.3; \
	  xdotool type --delay 20 n; xdotool key Return; sleep 3; \
	  xwd -id $$win -silent | xwdtopnm 2>/dev/null | pnmtopng > ../../docs/quelbro-win-roc.png; \
	  kill $$pid'
	@echo "docs/quelbro-win-roc.png written"
	@$(BUILD)/quelbro-con examples/study.dat -q --force --plot docs/study-roc
	@echo "docs/study-roc-1.svg written"

# The bundled example study, answers from a script; the report file is shown after the screen.
demo: build ## run quelbro-con on the example study and show its report
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo && cp examples/study.dat $(BUILD)/demo/
	@cd $(BUILD)/demo && ../quelbro-con < ../../examples/demo-answers.txt
	@echo "==================== report file demo.out ===================="
	@cat $(BUILD)/demo/demo.out | tr -d '\r'

test-fast: build-all ## build everything and run the release tests
	@scripts/install-deps $(DEPS_TEST)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@scripts/install-deps $(DEPS_TEST)
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DQUELBRO_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

test: test-fast test-asan test-fuzz ## all tests: release, ASan + UBSan, and the fuzz targets

# libFuzzer targets (tests/fuzz) under ASan + UBSan: `make fuzz` runs each for 60 s,
# `make test` for 15 s each.
FUZZ := build-fuzz
fuzz: deps ## run each fuzz target for 60 s
	@scripts/install-deps $(DEPS_TEST)
	@$(MAKE) --no-print-directory -f tests/fuzz/fuzz.mk -j $(JOBS) FUZZ_BUILD=$(FUZZ) all
	@$(MAKE) --no-print-directory -f tests/fuzz/fuzz.mk FUZZ_BUILD=$(FUZZ) FUZZ_SECONDS=60 run

test-fuzz: deps
	@scripts/install-deps $(DEPS_TEST)
	@$(MAKE) --no-print-directory -f tests/fuzz/fuzz.mk -j $(JOBS) FUZZ_BUILD=$(FUZZ) all
	@$(MAKE) --no-print-directory -f tests/fuzz/fuzz.mk FUZZ_BUILD=$(FUZZ) FUZZ_SECONDS=15 FUZZ_FRESH=1 run

# Installs the programs, manual pages, menu entry, icon and example study under
# $(DESTDIR)$(PREFIX); build/installed-files.txt keeps the list for `make uninstall`.
install: build ## install under PREFIX (and DESTDIR)
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --component quelbro
	@sed 's|^|$(DESTDIR)|' $(BUILD)/install_manifest_quelbro.txt | \
	  sort -u - $$( [ -f $(BUILD)/installed-files.txt ] && echo $(BUILD)/installed-files.txt ) \
	  > $(BUILD)/installed-files.tmp && mv $(BUILD)/installed-files.tmp $(BUILD)/installed-files.txt

uninstall: ## remove exactly what make install put in place
	@scripts/uninstall $(BUILD)/installed-files.txt
	@rm -f $(BUILD)/installed-files.txt

# The Debian package quelbro_<version>_<arch>.deb in build/package, checked by lintian.
package: build ## build the Debian package in build/package and check it with lintian
	@scripts/install-deps $(DEPS_PACKAGE)
	@rm -f $(BUILD)/package/*.deb
	@cd $(BUILD) && cpack -G DEB
	@lintian --fail-on error $(BUILD)/package/*.deb

# The window icon built into quelbro-win is the installed SVG icon drawn at 256 x 256.
icon: ## redraw packaging/quelbro-win.png (the window icon) from packaging/quelbro-win.svg
	@scripts/install-deps librsvg2-bin
	@rsvg-convert -w 256 -h 256 packaging/quelbro-win.svg -o packaging/quelbro-win.png

clean: ## remove the build folders
	rm -rf $(BUILD) $(ASAN) $(FUZZ)

# Benchmarks: wall time and peak memory of quelbro-con on generated studies, the
# worst case (left-out fits that do not converge) among them, quelbro-win on the
# largest study (through the window tests, when Qt is there), and the targets.
# BENCH_RUNS runs per study (median shown); BENCH_STUDY=name runs one study only.
BENCH_RUNS ?= 3
BENCH_STUDY ?=
bench: configure ## benchmarks: time and memory of quelbro-con on generated studies
	@cmake --build $(BUILD) --target programs gen_study bench_driver worst_case -j $(JOBS)
	@cmake --build $(BUILD) --target window_tests -j $(JOBS) >/dev/null 2>&1 || \
	  echo "window tests not built: quelbro-win is not timed"
	@$(BUILD)/bench_driver $(CURDIR)/$(BUILD)/quelbro-con $(CURDIR)/$(BUILD)/gen_study $(CURDIR)/$(BUILD)/bench \
	  $(BENCH_RUNS) $(BENCH_STUDY)
