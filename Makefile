# The two commands of the README: `make test` and `make demo`.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build test sanitize demo bench package package-test clean

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

# The Debian packages vix and vix-sim, built with dpkg-buildpackage in build-package/.
package: deps
	JOBS=$(JOBS) bash scripts/package.sh

# Builds the packages, installs them on this machine, checks them as a user meets them
# and purges them again (root).
package-test: deps
	JOBS=$(JOBS) bash scripts/package-test.sh

clean:
	rm -rf $(BUILD) build-demo build-sanitize build-package
