# make run   - install what is missing, build, start the loader
# make test  - install what is missing, build with sanitizers, run every test
# make build - build the program into build/programador
.PHONY: run test build deps bench coverage clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default

run: build
	./build/programador

test: deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize
	QT_QPA_PLATFORM=offscreen ctest --preset sanitize

# Line coverage of each folder of src/ by the whole suite (gcov, gcovr); not part of make test.
coverage: deps
	cmake --preset coverage >/dev/null
	cmake --build --preset coverage
	find build-coverage -name '*.gcda' -delete
	ctest --preset coverage
	@for d in $(sort $(dir $(wildcard src/*/))) src/; do \
	  gcovr -r . --object-directory build-coverage --exclude-directories build-coverage/CMakeFiles --filter "$$d" | \
	  awk -v d="$$d" '/^TOTAL/ { printf "%-14s %5s  (%d of %d lines)\n", d, $$4, $$3, $$2 }'; done

bench: build
	./build/bench/bench_transfer

clean:
	rm -rf build build-sanitize build-coverage
