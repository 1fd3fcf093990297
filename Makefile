# make run   - install what is missing, build, start the loader
# make test  - install what is missing, build with sanitizers, run every test
# make build - build the program into build/programador
.PHONY: run test build deps bench clean

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

bench: build
	./build/bench/bench_transfer

clean:
	rm -rf build build-sanitize
