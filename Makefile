# QUELBRO: build, run, test.
JOBS ?= 2
BUILD := build
ASAN := build-asan

.PHONY: deps build run run-win demo test test-fast test-asan test-fuzz bench fuzz screenshot clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/quelbro-con

run-win: build
	@$(BUILD)/quelbro-win

# quelbro-win on a virtual X display, answered by simulated keys up to the second treatment's
# description; the frame is saved as docs/quelbro-win.png.
SHOT_ANSWERS := n n n "Demo study typed in the window" 2 "Dr. Able" 2 "CT scan"
screenshot: build
	@mkdir -p docs $(BUILD)/screenshot
	@cd $(BUILD)/screenshot && xvfb-run -a -s "-screen 0 1024x768x24" sh -c '\
	  ../quelbro-win & pid=$$!; win=""; \
	  for i in $$(seq 1 60); do \
	    win=$$(xdotool search --onlyvisible --name "^quelbro-win$$" 2>/dev/null | head -n 1); \
	    [ -n "$$win" ] && break; sleep 0.25; done; \
	  [ -n "$$win" ] || { echo "quelbro-win did not show its window"; kill $$pid; exit 1; }; \
	  sleep 1; xdotool windowfocus --sync $$win; sleep 0.3; \
	  for a in $(SHOT_ANSWERS); do xdotool type --delay 20 "$$a"; xdotool key Return; sleep 0.4; done; \
	  xdotool type --delay 20 "MR"; sleep 0.5; \
	  xwd -id $$win -silent | xwdtopnm 2>/dev/null | pnmtopng > ../../docs/quelbro-win.png; \
	  kill $$pid'
	@echo "docs/quelbro-win.png written"

# The bundled example study, answers from a script; the report file is shown after the screen.
demo: build
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo && cp examples/study.dat $(BUILD)/demo/
	@cd $(BUILD)/demo && ../quelbro-con < ../../examples/demo-answers.txt
	@echo "==================== report file demo.out ===================="
	@cat $(BUILD)/demo/demo.out | tr -d '\r'

test-fast: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DQUELBRO_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

test: test-fast test-asan test-fuzz

# libFuzzer targets (tests/fuzz) under ASan + UBSan: `make fuzz` runs each for 60 s,
# `make test` for 15 s each.
FUZZ := build-fuzz
fuzz: deps
	@$(MAKE) --no-print-directory -f tests/fuzz/fuzz.mk -j $(JOBS) FUZZ_BUILD=$(FUZZ) all
	@$(MAKE) --no-print-directory -f tests/fuzz/fuzz.mk FUZZ_BUILD=$(FUZZ) FUZZ_SECONDS=60 run

test-fuzz: deps
	@$(MAKE) --no-print-directory -f tests/fuzz/fuzz.mk -j $(JOBS) FUZZ_BUILD=$(FUZZ) all
	@$(MAKE) --no-print-directory -f tests/fuzz/fuzz.mk FUZZ_BUILD=$(FUZZ) FUZZ_SECONDS=15 FUZZ_FRESH=1 run

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)

# Benchmarks: wall time and peak memory of quelbro-con on generated studies, the
# worst case (left-out fits that do not converge) among them, and the targets.
# BENCH_RUNS runs per study (median shown); BENCH_STUDY=name runs one study only.
BENCH_RUNS ?= 3
BENCH_STUDY ?=
bench: build
	@$(BUILD)/bench_driver $(CURDIR)/$(BUILD)/quelbro-con $(CURDIR)/$(BUILD)/gen_study $(CURDIR)/$(BUILD)/bench \
	  $(BENCH_RUNS) $(BENCH_STUDY)
