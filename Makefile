# The build itself is CMake's (CMakePresets.json); this file strings the
# presets together and makes sure the Debian packages they need are there.
#
#	make		build everything into dist/
#	make demo	build, then show the tools at work
#	make test	build, then run the whole test suite
#	make bench	build, then measure the tools against plain C
#
# make SIGN_CERT=chain.pem SIGN_KEY=key.pem [SIGN_TIMESTAMP_URL=url] signs
# the three Windows programs (Authenticode, SHA-256) before SHA256SUMS and
# the zip are made; see scripts/release.sh.  make test always builds them
# unsigned.

PRESETS := linux-x86_64 linux-i386 win64 win32
TEST_PRESETS := linux-sanitize

BUILD_PACKAGES := cmake ninja-build g++ g++-multilib libgtest-dev \
	g++-mingw-w64-x86-64 g++-mingw-w64-i686 zip $(if $(SIGN_CERT)$(SIGN_KEY),osslsigncode)
DEMO_PACKAGES := $(BUILD_PACKAGES) wine64
# What scripts/win32-guest.sh needs to build and boot the 32-bit Windows guest.
GUEST_PACKAGES := qemu-system-x86 debootstrap cpio e2fsprogs
TEST_PACKAGES := $(BUILD_PACKAGES) wine64 qemu-user-static unzip clang-format clang-tidy \
	osslsigncode openssl $(GUEST_PACKAGES)
BENCH_PACKAGES := $(BUILD_PACKAGES) wine64 valgrind

.PHONY: all demo test bench clean dist presets

all:
	@scripts/ensure-packages.sh $(BUILD_PACKAGES)
	@$(MAKE) --no-print-directory dist

demo:
	@scripts/ensure-packages.sh $(DEMO_PACKAGES)
	@$(MAKE) --no-print-directory dist
	@scripts/demo.sh

test:
	@scripts/ensure-packages.sh $(TEST_PACKAGES)
	@$(MAKE) --no-print-directory dist SIGN_CERT= SIGN_KEY= SIGN_TIMESTAMP_URL=
	@$(MAKE) --no-print-directory PRESETS="$(TEST_PRESETS)" presets
	@scripts/win32-guest.sh build || [ $$? -eq 77 ]
	@status=0; ctest --preset linux-x86_64 || status=$$?; \
	grep -h '^Skipped: ' build/linux-x86_64/Testing/Temporary/LastTest.log 2>/dev/null | sort -u; \
	exit $$status

bench:
	@scripts/ensure-packages.sh $(BENCH_PACKAGES)
	@$(MAKE) --no-print-directory dist
	@bench/run.sh

# Builds the presets, then writes SHA256SUMS and the release zip.
dist: presets
	@scripts/release.sh dist

# Configures each preset once (CMake reconfigures itself when its files
# change) and builds it.
presets:
	@set -e; for preset in $(PRESETS); do \
		test -f build/$$preset/build.ninja || cmake --preset $$preset >/dev/null; \
		cmake --build --preset $$preset; \
	done

clean:
	rm -rf build dist
