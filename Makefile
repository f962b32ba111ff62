# make run: install what is missing, build, start Vorn.
# make test: install what is missing, build, run every test (offscreen).
# make check: build, then run the unit tests alone (ctest -L unit), in a minute or two.
# SANITIZE=address or SANITIZE=thread builds and tests with that sanitizer.
# make format-check: fails when a source is not formatted as .clang-format says, or the status
# page's script or style as .jsbeautifyrc says.
# make lint: shellcheck over the shell scripts, and clang-tidy over the sources and tests.
# WERROR=1 turns the compiler's warnings into errors, as CI builds.
# make install: build, then install under PREFIX (default /usr/local), below DESTDIR if given.
# make uninstall: remove exactly the files the last install of this build wrote.
SANITIZE ?=
WERROR ?=
BUILD_TYPE ?= RelWithDebInfo
BUILD_DIR := build$(if $(SANITIZE),-$(SANITIZE))
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run test check build deps configure format format-check tidy lint bench clean install uninstall

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DVORN_SANITIZE=$(SANITIZE) \
		-DVORN_WERROR=$(if $(WERROR),ON,OFF)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target vorn
	./$(BUILD_DIR)/vorn

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

check: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest -L unit --output-on-failure -j $(JOBS)

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# The manifest lists every installed file under the PREFIX of the last install, without DESTDIR.
uninstall: build
	@test -f $(BUILD_DIR)/install_manifest.txt || { echo "Nothing installed from $(BUILD_DIR)." >&2; exit 1; }
	awk -v destdir="$(DESTDIR)" '{ print destdir $$0 }' $(BUILD_DIR)/install_manifest.txt | xargs -d '\n' rm -fv --

bench: build
	bash bench/run.sh $(BUILD_DIR)

tidy: configure
	bash scripts/tidy.sh $(BUILD_DIR)

lint: tidy
	shellcheck -x -P SCRIPTDIR $$(git ls-files '*.sh') .ci/run

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
	bash scripts/format-page.sh

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')
	bash scripts/format-page.sh --check

clean:
	rm -rf build build-address build-thread
