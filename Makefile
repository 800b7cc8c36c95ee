# Convenience targets; the scripts do the work.
.PHONY: all demo test sanitize fuzz bench install package clean

all:
	cmake -S . -B build -DMIVARO_TESTS=OFF >/dev/null && cmake --build build -j

demo:
	scripts/demo.sh

test:
	scripts/test.sh

sanitize:
	scripts/sanitize.sh

fuzz:
	scripts/fuzz.sh 60

bench:
	bench/run.sh $(BENCH_RUNS)

install: all
	cmake --install build

package:
	scripts/package-test.sh

clean:
	rm -rf build build-asan build-fuzz build-bench build-bench-tools build-package demo-out
