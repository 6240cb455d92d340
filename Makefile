BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
ifeq ($(CI),true)
CMAKE_FLAGS += -DNIMBREL_WERROR=ON
endif

.PHONY: all deps deps-run deps-package configure configure-run build build-run test run package format clean

all: build

# `make run` needs only the app, the server and their runtime packages; `make test` needs everything.
deps-run:
	@sh scripts/install-deps.sh run

deps-package:
	@sh scripts/install-deps.sh package

deps:
	@sh scripts/install-deps.sh test

configure-run: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build-run: configure-run
	cmake --build $(BUILD) -j $(JOBS) --target nimbrel nimbrel_web nimbrel-server

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build-run
	sh scripts/run-local.sh $(BUILD)

# The two Debian packages, nimbrel and nimbrel-server, in $(BUILD)/packages/.
package: build-run deps-package
	cd $(BUILD) && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
