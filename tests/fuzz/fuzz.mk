# libFuzzer targets, built with clang 14 under AddressSanitizer and
# UndefinedBehaviorSanitizer from the program's own sources.
#   make -f tests/fuzz/fuzz.mk run FUZZ_SECONDS=60 [FUZZ_FRESH=1]   (from the top folder)
CXX := clang++-14
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_ARGS ?=
SAN := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
CXXFLAGS := -std=c++20 -g -O1 $(SAN) -fsanitize=fuzzer-no-link -Isrc -Itests/fuzz -MMD -MP
# The program's sources are written for g++; clang's extra warnings are not errors here.
LIBFLAGS := $(CXXFLAGS) -Wall -Wextra
OWNFLAGS := $(CXXFLAGS) -Wall -Wextra -Werror

LIB_SRCS := $(wildcard src/console/*.cpp src/stats/*.cpp src/anova/*.cpp src/fit/*.cpp src/results/*.cpp src/dialogue/*.cpp)
LIB_OBJS := $(patsubst src/%.cpp,$(FUZZ_BUILD)/obj/%.o,$(LIB_SRCS))
TARGETS := datafile typed tonum
BINS := $(addprefix $(FUZZ_BUILD)/fuzz_,$(TARGETS))

.PHONY: all run
.SECONDARY:
all: $(BINS)

$(FUZZ_BUILD)/obj/%.o: src/%.cpp
	@mkdir -p $(dir $@)
	@$(CXX) $(LIBFLAGS) -c $< -o $@

$(FUZZ_BUILD)/own/%.o: tests/fuzz/%.cpp
	@mkdir -p $(dir $@)
	@$(CXX) $(OWNFLAGS) -c $< -o $@

$(FUZZ_BUILD)/fuzz_%: $(FUZZ_BUILD)/own/fuzz_%.o $(LIB_OBJS)
	@$(CXX) $(SAN) -fsanitize=fuzzer $^ -o $@

# Each target runs for FUZZ_SECONDS on its seed corpus; new inputs stay in the
# build folder, findings go to $(FUZZ_BUILD)/findings. The targets change the
# current folder, so every path given to them is absolute. FUZZ_FRESH=1 starts
# from the seeds alone, so that a short run stays short.
ABS := $(abspath $(FUZZ_BUILD))
run: all
	@mkdir -p $(ABS)/findings
	@set -e; for t in $(TARGETS); do \
	  if [ -n "$(FUZZ_FRESH)" ]; then rm -rf $(ABS)/corpus/$$t; fi; \
	  mkdir -p $(ABS)/corpus/$$t; \
	  $(ABS)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=20 -rss_limit_mb=2048 \
	    -max_len=8192 -print_final_stats=1 -artifact_prefix=$(ABS)/findings/$$t- $(FUZZ_ARGS) \
	    $(ABS)/corpus/$$t $(CURDIR)/tests/fuzz/corpus/$$t >$(ABS)/fuzz_$$t.log 2>&1 \
	    || { tail -n 60 $(ABS)/fuzz_$$t.log; echo "fuzz_$$t: FINDING, see $(ABS)/findings"; exit 1; }; \
	  echo "fuzz_$$t: $(FUZZ_SECONDS) s, $$(sed -n 's/^stat::number_of_executed_units: *//p' $(ABS)/fuzz_$$t.log) runs, no finding"; \
	done

-include $(LIB_OBJS:.o=.d) $(patsubst %,$(FUZZ_BUILD)/own/fuzz_%.d,$(TARGETS))
