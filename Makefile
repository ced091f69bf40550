BUILD ?= build
# The build's own progress lines only, without make's "Entering directory" for every step.
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: deps run-deps configure program build run test bench install uninstall deb clean

# What building and running the program needs; `deps` adds what the tests and the package check need.
run-deps:
	@scripts/install-deps.sh run

deps:
	@scripts/install-deps.sh

configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# The program alone, in $(BUILD)/bin.
program: run-deps configure
	@cmake --build $(BUILD) --target mivot -j $(JOBS)

# Everything: the program, the tests (in $(BUILD)/tests) and the benchmark (in $(BUILD)/bench).
build: deps configure
	@cmake --build $(BUILD) -j $(JOBS)

run: program
	$(BUILD)/bin/mivot

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: run-deps configure
	@cmake --build $(BUILD) --target mivotbench -j $(JOBS)
	$(BUILD)/bench/mivotbench

install: program
	@scripts/install.sh install $(BUILD) $(PREFIX)

uninstall:
	@scripts/install.sh uninstall $(BUILD) $(PREFIX)

deb: deps configure
	@cmake --build $(BUILD) --target mivot -j $(JOBS)
	@cd $(BUILD) && cpack -G DEB >/dev/null
	@cp $(BUILD)/package/mivot_*.deb .
	@ls -l mivot_*.deb

clean:
	rm -rf $(BUILD)
