# make run: install what is missing, build, start Vorn.
# make test: install what is missing, build, run every test (offscreen).
# SANITIZE=address or SANITIZE=thread builds and tests with that sanitizer.
SANITIZE ?=
BUILD_TYPE ?= RelWithDebInfo
BUILD_DIR := build$(if $(SANITIZE),-$(SANITIZE))
JOBS ?= $(shell nproc)

.PHONY: run test build deps configure format bench clean

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DVORN_SANITIZE=$(SANITIZE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/vorn

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	bash bench/run.sh $(BUILD_DIR)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-address build-thread
