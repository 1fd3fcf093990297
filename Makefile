# make run      - install what is missing, build the program, start the loader
# make test     - install what is missing, build with sanitizers, run every test
# make build    - build the program into build/programador
# make install  - build, install into PREFIX (/usr/local unless given)
# make package  - build the Debian package build/programador_<version>_<arch>.deb
# make coverage, make fuzz, make bench, make bench-command-line, make bench-window, make mutants, make clean
.PHONY: help run test build deps install package bench bench-command-line bench-window coverage fuzz mutants clean
PREFIX ?= /usr/local

help:
	@sed -n 's/^# make/make/p' Makefile

deps:
	@scripts/install-deps

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target programador

run: build
	./build/programador

test: deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize
	QT_QPA_PLATFORM=offscreen ctest --preset sanitize

install: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target programador programador_icons
	cmake --install build --prefix $(PREFIX)

package: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target programador programador_icons
	cd build && cpack

# Line coverage of each folder of src/ by the whole suite (gcov, gcovr), built afresh so that
# no count of an earlier build or a removed file is left over; not part of make test.
coverage: deps
	rm -rf build-coverage
	cmake --preset coverage >/dev/null
	cmake --build --preset coverage
	ctest --preset coverage
	@for d in $(sort $(dir $(wildcard src/*/))) src/; do \
	  gcovr -r . --object-directory build-coverage --exclude-directories build-coverage/CMakeFiles --filter "$$d" | \
	  awk -v d="$$d" '/^TOTAL/ { printf "%-14s %5s  (%d of %d lines)\n", d, $$4, $$3, $$2 }'; done

# Each libFuzzer target (clang), the transfer's and the readers': RUNS executions from its seed
# corpus; new inputs go to build-fuzz/corpus-<target>, a finding to build-fuzz/crash-*. Not part
# of make test.
RUNS ?= 1000000
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	@cd build-fuzz && for target in transfer:corpus readers:readers; do \
	  name=$${target%%:*}; seeds=../tests/fuzz/$${target##*:}; mkdir -p corpus-$$name; echo "fuzz_$$name:"; \
	  status=0; ./tests/fuzz/fuzz_$$name -runs=$(RUNS) -print_final_stats=1 corpus-$$name $$seeds 2>fuzz-$$name.log || status=$$?; \
	  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^Done|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss)' fuzz-$$name.log; \
	  [ $$status -eq 0 ] || { tail -40 fuzz-$$name.log; exit $$status; }; \
	done

# Seeded faults (scripts/mutants.list), one at a time, against the whole suite on a scratch
# copy of the project: each must be killed. Not part of make test; it takes about an hour.
mutants: deps
	scripts/mutants

bench: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target bench_transfer
	./build/bench/bench_transfer

# The command line's bench mode, the real program loading paced pseudo-terminal devices (1, 4
# and 16 at once; the 16 also with the record in a CSV file and in a PostgreSQL table), waiting
# for boards, a soak of 200 boards, and one of two devices with the record in PostgreSQL and the
# server stopped for a third of the boards: about twenty minutes.
# ARGS are the benchmark's own options (see bench/command_line/main.cpp).
bench-command-line: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target bench_command_line
	./build/bench/bench_command_line $(ARGS)

# "Banco de carga" loading four and then sixteen paced 9600-baud devices, the real windows in the
# benchmark's own process (offscreen): each device's ratio to its line's limit, the program's CPU
# and the longest hold of the window's event loop; about a minute. The screenshots of docs/banco/ come from:
#   xvfb-run -a -s '-screen 0 1366x768x24' sh -c 'openbox & build/bench/bench_window --bytes 8192 --devices 16 --screenshots docs/banco'
# and, with four rows, those named 1024x768-* and 2x-* (1-loading and 3-second-boards, 1-loading and 2-first-boards) from
#   xvfb-run -a -s '-screen 0 1024x768x24' sh -c 'openbox & build/bench/bench_window --bytes 8192 --devices 4 --screenshots DIR'
#   QT_SCALE_FACTOR=2 xvfb-run -a -s '-screen 0 2048x1536x24' sh -c 'openbox & build/bench/bench_window --bytes 8192 --devices 4 --screenshots DIR'
# The bench under a production order (docs/banco/orden-*.png), and programador --orden with
# cantidad=5 on two devices (its summary, record and status), from a build with the benchmarks
# (make bench-window makes one); the first starts its own Xvfb and openbox:
#   scripts/order-screenshots build docs/banco
#   scripts/order-demo build
bench-window: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target bench_window
	./build/bench/bench_window --devices 4 $(ARGS)
	./build/bench/bench_window --devices 16 $(ARGS)

clean:
	rm -rf build build-sanitize build-coverage build-fuzz
