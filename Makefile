# The two commands of the README: `make test` and `make demo`.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build test demo bench clean

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

demo: deps
	bash scripts/demo.sh

bench: configure
	cmake --build $(BUILD) -j$(JOBS)
	bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-demo
