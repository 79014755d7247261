# The commands a newcomer needs; see README.md.
JOBS ?= 2
BUILD ?= build
CMAKE ?= cmake
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all release asan test test-release test-asan demo bench format clean

all: release

$(BUILD)/release/CMakeCache.txt:
	$(CMAKE) -S . -B $(BUILD)/release $(GENERATOR) -DCMAKE_BUILD_TYPE=Release

$(BUILD)/asan/CMakeCache.txt:
	$(CMAKE) -S . -B $(BUILD)/asan $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DTABULO_SANITIZE=ON

release: $(BUILD)/release/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/release -j $(JOBS)

asan: $(BUILD)/asan/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/asan -j $(JOBS)

test-release: release
	cd $(BUILD)/release && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	cd $(BUILD)/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# Both trees: the optimised build with warnings as errors, then ASan+UBSan.
test: test-release test-asan

demo: release
	$(BUILD)/release/apps/tabulo/tabulo strings

format:
	find src apps tests bench -name '*.cc' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
