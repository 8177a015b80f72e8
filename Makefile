# The two commands of the README. Both install what they need first. `make test`
# also builds the libFuzzer targets with clang and runs each for 20 seconds,
# then builds the Debian package, installs it on a fresh minimal Debian 12 and
# checks it with lintian (scripts/check-deb-package).

.PHONY: run test deps bench format package clean

deps:
	scripts/install-deps

run: deps
	cmake --preset release
	cmake --build --preset release --target tarnwick
	scripts/run-tarnwick build/release/app/tarnwick

test: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan
	@if command -v clang++ >/dev/null 2>&1; then \
	  cmake --preset fuzz && cmake --build --preset fuzz && scripts/run-fuzzers build/fuzz 20; \
	else \
	  echo "clang++ not found: the fuzz targets are not run"; \
	fi
	@if command -v debootstrap >/dev/null 2>&1 && [ "$$(id -u)" = 0 ]; then \
	  $(MAKE) --no-print-directory package && \
	  scripts/check-deb-package "$$(ls -t build/package/tarnwick_*.deb | head -n 1)"; \
	else \
	  echo "debootstrap or root missing: the Debian package is not tried on a fresh Debian"; \
	fi

bench: deps
	cmake --preset release
	cmake --build --preset release
	scripts/run-benchmarks build/release

package: deps
	cmake --preset package
	cmake --build --preset package
	cpack --preset deb

format:
	cmake --preset dev
	cmake --build --preset dev --target format

clean:
	rm -rf build
