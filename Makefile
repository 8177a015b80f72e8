# The two commands of the README. Both install what they need first.

.PHONY: run test deps bench format clean

deps:
	scripts/install-deps

run: deps
	cmake --preset release
	cmake --build --preset release
	scripts/run-tarnwick build/release/app/tarnwick

test: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

bench: deps
	cmake --preset release
	cmake --build --preset release
	scripts/run-benchmarks build/release

format:
	cmake --preset dev
	cmake --build --preset dev --target format

clean:
	rm -rf build
