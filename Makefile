# The commands a newcomer needs; see README.md.
JOBS ?= 2
BUILD ?= build
CMAKE ?= cmake
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps web-test-deps release asan test test-release test-asan demo serve cluster-demo bench bench-pg bench-concurrency bench-crash bench-cluster format clean fuzz fuzz-build fuzz-smoke fuzz-campaign mutants mutants-sweep package test-package

all: release

# The Debian packages every target needs: installed when missing (as root), or the apt-get
# line to run is printed. Shared by `make demo`, `make test` and CI.
deps:
	@tools/install-deps

# The npm packages the browser tests run on (tests/web/package-lock.json); shared with CI.
web-test-deps:
	@tools/install-web-tests

# The release tree configures its tests (GoogleTest) only when tests are built: `make demo`
# on a fresh tree leaves them out; `make release` and `make test` turn them on.
$(BUILD)/release/CMakeCache.txt: | deps
	$(CMAKE) -S . -B $(BUILD)/release $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DTABULO_TESTS=OFF

$(BUILD)/asan/CMakeCache.txt: | deps
	$(CMAKE) -S . -B $(BUILD)/asan $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DTABULO_SANITIZE=ON

release: deps $(BUILD)/release/CMakeCache.txt
	$(CMAKE) -S . -B $(BUILD)/release -DTABULO_TESTS=ON >/dev/null
	$(CMAKE) --build $(BUILD)/release -j $(JOBS)

asan: deps $(BUILD)/asan/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/asan -j $(JOBS)

test-release: release web-test-deps
	cd $(BUILD)/release && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	cd $(BUILD)/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# Both trees: the optimised build with warnings as errors, then ASan+UBSan; then each
# libFuzzer target for a few seconds (clang, ASan+UBSan); then the Debian packages, built,
# checked by lintian, installed, used and removed again (test-package).
test: test-release test-asan
	$(MAKE) fuzz-smoke FUZZ_SMOKE_SECONDS=3
	$(MAKE) test-package

# The Debian packages (debian/) into $(BUILD)/packages: tabulo, libtabulo0, libtabulo-dev
# and their debug symbols. dpkg-buildpackage runs in a copy of the sources under
# $(BUILD)/package-src (it writes beside the source folder and cleans it), in its own
# Release tree with Debian's hardening flags; ccache is used when installed.
PACKAGE_SRC := $(BUILD)/package-src/tabulo
CCACHE := $(shell command -v ccache 2>/dev/null)
# debhelper runs the build with a HOME of its own: ccache is told where its cache is.
CCACHE_ENV := $(if $(CCACHE),CMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) \
  CCACHE_DIR=$(shell ccache --get-config cache_dir 2>/dev/null))
package: deps
	rm -rf $(BUILD)/package-src
	mkdir -p $(PACKAGE_SRC) $(BUILD)/packages
	tar --exclude=./build --exclude=./.git --exclude=./tests/web/node_modules -cf - . \
	  | tar -C $(PACKAGE_SRC) -xf -
	cd $(PACKAGE_SRC) && $(CCACHE_ENV) dpkg-buildpackage -us -uc -b -j$(JOBS)
	rm -f $(BUILD)/packages/*.deb
	mv $(BUILD)/package-src/*.deb $(BUILD)/packages/
	@ls -l $(BUILD)/packages

# The packages checked: lintian without errors, then (as root) installed with apt-get, the
# program, its manual pages, completion, service unit and -dev package used from the
# installed paths, then removed and purged leaving nothing of ours.
test-package: package
	tests/package/check_packages.sh $(BUILD)/packages

# libFuzzer targets (clang only), in their own tree. `fuzz-smoke` runs each for a few
# seconds; `fuzz` is the longer opt-in run. Each starts from the seeds committed under
# tests/fuzz/corpus/<target> (read only); what it finds grows under $(BUILD)/fuzz/corpus.
FUZZERS := fuzz_connection_string fuzz_statement_split fuzz_sql_literal fuzz_value_check \
  fuzz_control_file fuzz_host_config fuzz_resource_store fuzz_script fuzz_serve_event
FUZZ_SMOKE_SECONDS ?= 5
FUZZ_SECONDS ?= 60

$(BUILD)/fuzz/CMakeCache.txt: | deps
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(BUILD)/fuzz $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DTABULO_FUZZ=ON

fuzz-build: $(BUILD)/fuzz/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/fuzz -j $(JOBS) --target $(FUZZERS)

# A target's own libFuzzer flags, if any, are in fuzz/<target>.flags ('#' lines are comments).
define run_fuzzers
	@for f in $(FUZZERS); do \
	  mkdir -p $(BUILD)/fuzz/corpus/$$f && \
	  echo "== $$f ($(1) s)" && \
	  $(BUILD)/fuzz/fuzz/$$f -max_total_time=$(1) -max_len=4096 -print_final_stats=1 \
	    $$(test -f fuzz/$$f.flags && grep -v '^#' fuzz/$$f.flags) \
	    $(BUILD)/fuzz/corpus/$$f tests/fuzz/corpus/$$f 2>&1 | grep -E "stat::number_of_executed_units|ERROR|BINGO|Test unit" \
	    ; test $${PIPESTATUS[0]} -eq 0 || exit 1; \
	done
endef

fuzz-smoke: SHELL := /bin/bash
fuzz-smoke: fuzz-build
	$(call run_fuzzers,$(FUZZ_SMOKE_SECONDS))

fuzz: SHELL := /bin/bash
fuzz: fuzz-build
	$(call run_fuzzers,$(FUZZ_SECONDS))

# A long campaign of one target: `make fuzz-campaign TARGET=fuzz_serve_event RUNS=1000000`
# builds it in an optimised sanitizer tree ($(BUILD)/fuzz-opt, ASan+UBSan with debug
# information) and runs RUNS inputs in all over FUZZ_JOBS processes (one by default), niced;
# the corpus, logs and findings stay in campaign/<target> (not committed). It ends with the
# figures: runs, exec/s, coverage, findings. `fuzz/campaign.sh status campaign/<target>`
# prints them while it runs.
TARGET ?= fuzz_serve_event
RUNS ?= 1000000
FUZZ_JOBS ?= 1

$(BUILD)/fuzz-opt/CMakeCache.txt: | deps
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(BUILD)/fuzz-opt $(GENERATOR) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABULO_FUZZ=ON -DTABULO_TESTS=OFF

fuzz-campaign: $(BUILD)/fuzz-opt/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/fuzz-opt -j $(JOBS) --target $(TARGET)
	nice -n 10 fuzz/campaign.sh run $(TARGET) $(RUNS) $(FUZZ_JOBS) $(BUILD)/fuzz-opt \
	  campaign/$(TARGET)

# Benchmarks (not run by CI): their own optimised tree; bench/run generates the sample
# databases once, runs the benchmarks niced and writes $(BUILD)/bench/results.md.
$(BUILD)/bench/CMakeCache.txt: | deps
	$(CMAKE) -S . -B $(BUILD)/bench $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DTABULO_BENCH=ON

# Concurrent operators: two processes committing 10,000 logged edits to one database, in WAL
# and in rollback-journal mode; prints commits tried / written / refused / lost and the time.
CONCURRENT_COMMITS ?= 10000
bench-concurrency: release
	$(CMAKE) --build $(BUILD)/release -j $(JOBS) --target concurrent_commits
	$(BUILD)/release/tests/concurrent_commits --commits $(CONCURRENT_COMMITS) --journal wal
	$(BUILD)/release/tests/concurrent_commits --commits $(CONCURRENT_COMMITS) --journal delete

# The display tier under load (not run by CI): deploy/cluster.sh brings up nginx before
# CLUSTER_PROCESSES serve processes over a PostgreSQL primary and its standby; then
# bench/cluster_load.mjs runs CLUSTER_OPERATORS simulated operators (each list item a run of
# CLUSTER_SECONDS) and prints their figures; then bench/cluster_failover.mjs, when present,
# measures a failover in Chromium. Everything runs niced; the cluster is taken down after.
CLUSTER_OPERATORS ?= 10,50,200
CLUSTER_SECONDS ?= 30
CLUSTER_PROCESSES ?= 2
CLUSTER_MAX_SESSIONS ?= 150
bench-cluster: deps $(BUILD)/release/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/release -j $(JOBS) --target tabulo
	@dir=$$(mktemp -d /tmp/tabulo-cluster-XXXXXX); tabulo=$(CURDIR)/$(BUILD)/release/apps/tabulo/tabulo; \
	trap 'bash deploy/cluster.sh down "$$dir" >/dev/null 2>&1; rm -rf "$$dir"' EXIT; \
	TABULO=$$tabulo MAX_SESSIONS=$(CLUSTER_MAX_SESSIONS) \
	  nice bash deploy/cluster.sh up "$$dir" --processes $(CLUSTER_PROCESSES) --rows 5000 && \
	nice node bench/cluster_load.mjs --env "$$dir/cluster.env" --audit-db "$$dir/audit.db" \
	  --operators $(CLUSTER_OPERATORS) --seconds $(CLUSTER_SECONDS) && \
	bash deploy/cluster.sh down "$$dir" && \
	if [ -f bench/cluster_failover.mjs ]; then \
	  nice node bench/cluster_failover.mjs $$tabulo --processes $(CLUSTER_PROCESSES); fi

# Killed writers: CRASH_RUNS `tabulo show` processes per journal mode (WAL and rollback
# journal, the data and the audit database alike), each making signed, logged edits, killed
# with SIGKILL at a random moment; prints runs / changes written / without a record / records
# not written / pending after the next start settled them.
CRASH_RUNS ?= 200
bench-crash: deps $(BUILD)/release/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/release -j $(JOBS) --target tabulo
	bench/crash_campaign $(BUILD)/release/apps/tabulo/tabulo $(CRASH_RUNS)

bench: $(BUILD)/bench/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/bench -j $(JOBS) --target tabulo record_set_bench control_bench find_bench
	bench/run $(BUILD)/bench

# The same figures on a PostgreSQL table of ROWS rows, on a throw-away server (bench/run_pg);
# writes $(BUILD)/bench/results-pg.md.
ROWS ?= 10000000
bench-pg: $(BUILD)/bench/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/bench -j $(JOBS) --target pg_bench
	bench/run_pg $(BUILD)/bench $(ROWS)

# The main job on the embedded default: the sample database under build/, shown by one
# control in run mode, then one signed edit and its audit record. The demo's state (audit
# database, registry) stays under build/, never in the user's home.
TABULO := $(BUILD)/release/apps/tabulo/tabulo
DEMO_ENV := XDG_STATE_HOME=$(abspath $(BUILD))/demo-state XDG_CONFIG_HOME=$(abspath $(BUILD))/demo-config
DEMO_SQL := SELECT Id, Customer, Qty, Price, Placed, Note FROM Orders WHERE Qty < 400

demo: deps $(BUILD)/release/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/release -j $(JOBS) --target tabulo
	@test -f $(BUILD)/sample.db || $(TABULO) sample-db $(BUILD)/sample.db
	$(DEMO_ENV) $(TABULO) show --db $(BUILD)/sample.db --sql "$(DEMO_SQL)"
	$(DEMO_ENV) $(TABULO) show --db $(BUILD)/sample.db --size 60x6 \
	  --sql "SELECT Id, Customer, Qty FROM Orders WHERE Qty < 400" \
	  --edit 0,2=$$(( $$(date +%s) % 400 )) --answer sign demo demo Correction --log-event
	$(DEMO_ENV) $(TABULO) audit | tail -n 3
	@echo
	@echo "Browse the sample interactively (arrows, PgUp/PgDn, Enter edits, Esc cancels, q quits):"
	@echo "  $(TABULO) browse --db $(BUILD)/sample.db --sql \"$(DEMO_SQL)\" --set AllowUpdates=true"

# The operator display in a browser on the same sample: prints the address to open (port
# SERVE_PORT, default 8080); Ctrl-C stops.
SERVE_PORT ?= 8080
serve: deps $(BUILD)/release/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/release -j $(JOBS) --target tabulo
	@test -f $(BUILD)/sample.db || $(TABULO) sample-db $(BUILD)/sample.db
	$(DEMO_ENV) $(TABULO) serve --db $(BUILD)/sample.db --sql "$(DEMO_SQL)" --port $(SERVE_PORT)

# The display tier on this machine: nginx on 127.0.0.1:$(CLUSTER_PORT) in front of
# $(CLUSTER_PROCESSES) serve processes over a throw-away PostgreSQL primary and its standby
# (deploy/cluster.sh, in $(BUILD)/cluster-demo); prints the address; Ctrl-C tears it down.
CLUSTER_PROCESSES ?= 3
CLUSTER_PORT ?= 8090
cluster-demo: deps $(BUILD)/release/CMakeCache.txt
	$(CMAKE) --build $(BUILD)/release -j $(JOBS) --target tabulo
	TABULO=$(abspath $(TABULO)) deploy/cluster.sh demo $(BUILD)/cluster-demo \
	  --processes $(CLUSTER_PROCESSES) --port $(CLUSTER_PORT)

format:
	find src apps tests bench -name '*.cc' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)

# Mutation sample (not run by CI): tools/mutants.txt's one-line mutations, one at a time, each
# rebuilt in $(BUILD)/mutants and run against the whole suite; prints killed / survived.
mutants:
	BUILD=$(BUILD)/mutants JOBS=$(JOBS) tools/mutants $(MUTANT)

# Systematic mutation sweep (not run by CI; hours for the whole list): tools/mutants-sweep
# generates each file's mutants, tests them in $(BUILD)/mutants (one build job, niced) and
# writes docs/mutation-sweep.md. SWEEP_ARGS="--limit 20" or "--only 42" for a short run.
SWEEP_FILES ?= sql/identifier sql/sql_literal sql/value_check web/access host/audit/audit_chain \
  container/row_format control/commit control/operator_log control/update_query \
  host/servers/sqlite/rowid_plan host/servers/sqlite/write_statement host/audit/audit_log \
  host/servers/sqlite/record_file \
  container/serve_session container/serve_display web/http_server host/audit/pg_audit_store \
  host/servers/pg/pg_data_server
FILES ?= $(SWEEP_FILES)
mutants-sweep:
	BUILD=$(BUILD)/mutants nice -n 10 tools/mutants-sweep $(SWEEP_ARGS) $(FILES)
