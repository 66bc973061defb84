# libFuzzer targets, built with clang 14 under AddressSanitizer and
# UndefinedBehaviorSanitizer from the program's own sources.
#   make -f tests/fuzz/fuzz.mk run FUZZ_SECONDS=60     (from the top folder)
CXX := clang++-14
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_ARGS ?=
SAN := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
CXXFLAGS := -std=c++20 -g -O1 $(SAN) -fsanitize=fuzzer-no-link -Isrc -Itests/fuzz -MMD -MP
# The program's sources are written for g++; clang's extra warnings are not errors here.
LIBFLAGS := $(CXXFLAGS) -Wall -Wextra
OWNFLAGS := $(CXXFLAGS) -Wall -Wextra -Werror

LIB_SRCS := $(wildcard src/console/*.cpp src/anova/*.cpp src/fit/*.cpp src/dialogue/*.cpp)
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

# Each target runs for FUZZ_SECONDS on a working copy of its seed corpus;
# new inputs stay in the build folder, findings go to $(FUZZ_BUILD)/findings.
run: all
	@mkdir -p $(FUZZ_BUILD)/findings
	@set -e; for t in $(TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  echo "fuzz_$$t: $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=20 -rss_limit_mb=2048 \
	    -max_len=8192 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/findings/$$t- $(FUZZ_ARGS) \
	    $(FUZZ_BUILD)/corpus/$$t tests/fuzz/corpus/$$t 2>$(FUZZ_BUILD)/fuzz_$$t.log \
	    || { tail -n 60 $(FUZZ_BUILD)/fuzz_$$t.log; exit 1; }; \
	  grep -E '^stat::number_of_executed_units' $(FUZZ_BUILD)/fuzz_$$t.log; \
	done

-include $(LIB_OBJS:.o=.d) $(patsubst %,$(FUZZ_BUILD)/own/fuzz_%.d,$(TARGETS))
