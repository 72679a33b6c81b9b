# Rolvek: every entry point a developer or CI needs. Each target first installs whatever Debian
# packages it needs and are missing (scripts/install-deps.sh with the target's group; quick when
# all are there).

JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR   := -G Ninja
BUILD       := build
FUZZ_SECONDS ?= 10
RUNS        ?= 10
# WERROR=ON turns every compiler warning into an error (CI does so: the tree stays warning-free).
WERROR      ?= OFF

PACKAGE_BUILD := build-package

.PHONY: all deps deps-fuzz deps-bench deps-package deps-package-check deps-window build run test test-asan \
        test-tsan bench fuzz install package symbols package-check screenshot clean

all: build

deps:
	@sh scripts/install-deps.sh

deps-fuzz deps-bench deps-package deps-package-check deps-window:
	@sh scripts/install-deps.sh $(@:deps-%=%)

# configure(dir, extra cmake arguments)
define configure
	@cmake -S . -B $(1) $(GENERATOR) -DROLVEK_WERROR=$(WERROR) $(2) >/dev/null
endef

build: deps
	$(call configure,$(BUILD),)
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@sh scripts/run.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	$(call configure,build-asan,-DCMAKE_BUILD_TYPE=Debug -DROLVEK_SANITIZE=address)
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The threaded parts: the engine, the log writer, the dialog's worker hand-over.
test-tsan: deps
	$(call configure,build-tsan,-DCMAKE_BUILD_TYPE=Debug -DROLVEK_SANITIZE=thread -DROLVEK_BUILD_UI=OFF)
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	    ctest --output-on-failure -j $(JOBS) -L threaded

bench: deps-bench
	$(call configure,build-bench,-DCMAKE_BUILD_TYPE=Release -DROLVEK_BUILD_TESTS=OFF -DROLVEK_BUILD_BENCH=ON)
	@cmake --build build-bench -j $(JOBS)
	@sh scripts/run-bench.sh build-bench

fuzz: deps-fuzz
	$(call configure,build-fuzz,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DROLVEK_BUILD_TESTS=OFF -DROLVEK_BUILD_UI=OFF -DROLVEK_BUILD_FUZZ=ON -DROLVEK_SANITIZE=address \
	    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link)
	@cmake --build build-fuzz -j $(JOBS)
	@sh scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

install: build
	@cmake --install $(BUILD)

# The Debian packages libqdx1, libqdx-dev and rolvek (CPack): a hardened release build for /usr,
# libqdx1's exports checked against pkg/debian/libqdx1.symbols, then lintian --pedantic,
# hardening-check and the packages' fields and contents; any finding fails the target.
PACKAGE_CONFIGURE := -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DROLVEK_BUILD_TESTS=OFF -DROLVEK_INSTALL_RPATH=OFF -DROLVEK_DEB_PACKAGE=ON

package: deps-package
	$(call configure,$(PACKAGE_BUILD),$(PACKAGE_CONFIGURE))
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	@rm -f $(PACKAGE_BUILD)/*.deb
	@cd $(PACKAGE_BUILD) && cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; exit 1; }
	@sh scripts/check-deb.sh $(PACKAGE_BUILD)

# Rewrites pkg/debian/libqdx1.symbols from what libqdx.so.1 exports now (after adding an export).
symbols: deps-package
	$(call configure,$(PACKAGE_BUILD),$(PACKAGE_CONFIGURE))
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target qdx_symbols_update

# Installs the three packages on a clean Debian 12 made with debootstrap, builds the README's
# library example there with libqdx-dev alone, and removes them again (root, Debian mirror, minutes).
package-check: deps-package-check package
	@sh scripts/package-check.sh $(PACKAGE_BUILD) $(PACKAGE_BUILD)/chroot README.md

# The README's pictures of the window, taken on a virtual display at 96 and at 144 dpi.
screenshot: deps-window build
	@mkdir -p docs
	@sh scripts/screenshot.sh $(BUILD) docs/rolvek.png
	@QT_FONT_DPI=144 sh scripts/screenshot.sh $(BUILD) docs/rolvek-144dpi.png

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz $(PACKAGE_BUILD)
