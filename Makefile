# The two commands a newcomer needs: `make run` and `make test`.
BUILD      := build
TEST_BUILD := build-asan
JOBS       ?= $(shell nproc)
CMAKE_FLAGS := -G Ninja -Wno-dev

.PHONY: run test build deps bench-deps bench fuzz clean

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(TEST_BUILD)/build.ninja:
	cmake -S . -B $(TEST_BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DQS_SANITIZE=ON -DQS_BENCH=OFF

# `make run` needs only the three programs; tests and benchmarks are built by their own targets.
build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target qs quaysided quayside-app

run: build
	@scripts/run-daemon $(BUILD)

# Every test runs against the sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer).
test: deps $(TEST_BUILD)/build.ninja
	@scripts/engine-test-account ensure
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

bench-deps:
	@scripts/install-deps --bench

bench: bench-deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target qs quaysided benchmarks
	@scripts/run-benchmarks $(BUILD)

fuzz:
	@echo "usage: scripts/fuzz NAME SECONDS   (e.g. scripts/fuzz dotenv_parser_fuzz 60)"

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-fuzz
