# The two commands of the README: `make test` and `make demo`.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build test sanitize demo bench clean

all: build

deps:
	bash scripts/install-deps.sh

# Tests run against fake helper programs that the test build places in its own folder.
configure: deps
	cmake -S . -B $(BUILD) -DVIX_HELPER_DIR=$(CURDIR)/$(BUILD)/test-helpers $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 600

# A second build with clang's address and undefined-behaviour sanitizers, plus short fuzz runs.
sanitize: deps
	bash scripts/sanitize.sh

demo: deps
	bash scripts/demo.sh

bench: configure
	cmake --build $(BUILD) -j$(JOBS)
	bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-demo build-sanitize
