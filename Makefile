# The two commands of the README: `make test` and `make demo`.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
# ON makes every compiler warning an error, here and in the sanitizer build (CI does).
VIX_WERROR ?= OFF
export VIX_WERROR

.PHONY: all deps configure build test sanitize lint format format-check demo bench package \
	package-test clean

all: build

deps:
	bash scripts/install-deps.sh

# Tests run against fake helper programs that the test build places in its own folder.
configure: deps
	cmake -S . -B $(BUILD) -DVIX_HELPER_DIR=$(CURDIR)/$(BUILD)/test-helpers \
	      -DVIX_WERROR=$(VIX_WERROR) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 600

# A second build with clang's address and undefined-behaviour sanitizers, plus short fuzz runs.
sanitize: deps
	bash scripts/sanitize.sh

# clang-tidy with the checks of .clang-tidy over the product code, findings as errors.
lint: build
	JOBS=$(JOBS) bash scripts/lint.sh $(BUILD)

# format rewrites the sources in the style of .clang-format; format-check only reports.
format: deps
	bash scripts/format.sh

format-check: deps
	bash scripts/format.sh --check

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
