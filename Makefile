# The build itself is CMake's (CMakePresets.json); this file strings the
# presets together and makes sure the Debian packages they need are there.
#
#	make		build everything into dist/
#	make demo	build, then show the tools at work
#	make test	build, then run the whole test suite

PRESETS := linux-x86_64

BUILD_PACKAGES := cmake ninja-build g++ libgtest-dev
TEST_PACKAGES := $(BUILD_PACKAGES)

.PHONY: all demo test clean dist

all:
	@scripts/ensure-packages.sh $(BUILD_PACKAGES)
	@$(MAKE) --no-print-directory dist

demo: all
	@scripts/demo.sh

test:
	@scripts/ensure-packages.sh $(TEST_PACKAGES)
	@$(MAKE) --no-print-directory dist
	ctest --preset linux-x86_64

# Configures each preset once, then builds it.
dist:
	@set -e; for preset in $(PRESETS); do \
		test -f build/$$preset/build.ninja || cmake --preset $$preset --log-level=WARNING; \
		cmake --build --preset $$preset; \
	done

clean:
	rm -rf build dist
