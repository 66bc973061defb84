# QUELBRO: build, run, test.
JOBS ?= 2
BUILD := build
ASAN := build-asan

.PHONY: deps build run run-win demo test test-fast test-asan bench fuzz screenshot clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/quelbro-con

run-win: build
	@$(BUILD)/quelbro-win

# The bundled example study, answers from a script; the report file is shown after the screen.
demo: build
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo && cp examples/study.dat $(BUILD)/demo/
	@cd $(BUILD)/demo && ../quelbro-con < ../../examples/demo-answers.txt
	@echo "==================== report file demo.out ===================="
	@cat $(BUILD)/demo/demo.out | tr -d '\r'

test-fast: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DQUELBRO_SANITIZE=ON -DQUELBRO_WINDOW=OFF >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

test: test-fast test-asan

clean:
	rm -rf $(BUILD) $(ASAN)
