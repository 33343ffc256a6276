// Script workloads: each benchmark compiles its script once and then calls `run` repeatedly.
#include "Squirrel/StdLib.h"
#include "Squirrel/Squirrel.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace Squirrel;

class Script {
public:
    explicit Script(const char* source) {
        vm_ = open(1024);
        pushRootTable(vm_);
        registerMathLib(vm_);
        registerStringLib(vm_);
        pop(vm_, 1);
        if (failed(compileBuffer(vm_, source, -1, "bench", true))) fail("compile");
        pushRootTable(vm_);
        if (failed(call(vm_, 1, false, true))) fail("load");
        pop(vm_, 1);
        pushRootTable(vm_);
        pushString(vm_, "run");
        if (failed(get(vm_, -2))) fail("run() missing");
        run_.reset(vm_, -1);
        pop(vm_, 2);
    }
    ~Script() {
        run_.reset();
        close(vm_);
    }
    Integer run(Integer arg) {
        run_.push(vm_);
        pushRootTable(vm_);
        pushInteger(vm_, arg);
        if (failed(call(vm_, 2, true, true))) fail("run");
        Integer r = 0;
        getInteger(vm_, -1, &r);
        pop(vm_, 2);
        return r;
    }

private:
    [[noreturn]] static void fail(const char* what) {
        std::fprintf(stderr, "benchmark script failed: %s\n", what);
        std::abort();
    }
    HVM vm_;
    Ref run_;
};

void runScript(benchmark::State& state, const char* source, Integer arg) {
    Script s(source);
    for (auto _ : state) benchmark::DoNotOptimize(s.run(arg));
}

const char* kFib = R"(
function fib(n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }
function run(n) { return fib(n); }
)";

const char* kTableLoop = R"(
function run(n) {
    local t = {};
    for (local i = 0; i < n; i++) t["k" + (i % 100)] <- i;
    local sum = 0;
    for (local r = 0; r < 50; r++)
        foreach (k, v in t) sum += v;
    local hits = 0;
    for (local i = 0; i < n; i++) if (("k" + (i % 150)) in t) hits++;
    return sum + hits;
}
)";

const char* kArrayLoop = R"(
function run(n) {
    local a = array(n, 0);
    for (local i = 0; i < n; i++) a[i] = i * 2;
    local sum = 0;
    for (local r = 0; r < 10; r++)
        for (local i = 0; i < n; i++) sum += a[i];
    foreach (v in a) sum -= v;
    a.append(1);
    return sum;
}
)";

const char* kStringBuild = R"(
function run(n) {
    local s = "";
    for (local i = 0; i < n; i++) s += i + ",";
    local parts = split(s, ",");
    return parts.len() + s.len();
}
)";

const char* kMethodCalls = R"(
class Vec {
    x = 0; y = 0;
    constructor(a, b) { x = a; y = b; }
    function dot(o) { return x * o.x + y * o.y; }
    function scale(k) { x *= k; y *= k; return this; }
}
function run(n) {
    local v = Vec(1, 2), w = Vec(3, 4);
    local sum = 0;
    for (local i = 0; i < n; i++) {
        sum += v.dot(w);
        w.scale(1);
    }
    return sum;
}
)";

const char* kClosureCalls = R"(
function makeAdder(k) { return function(v) { return v + k; }; }
function run(n) {
    local add = makeAdder(3);
    local twice = @(f, v) f(f(v));
    local sum = 0;
    for (local i = 0; i < n; i++) sum = twice(add, sum) % 1000003;
    return sum;
}
)";

void BM_Fib(benchmark::State& s) { runScript(s, kFib, 25); }
void BM_TableLoop(benchmark::State& s) { runScript(s, kTableLoop, 10000); }
void BM_ArrayLoop(benchmark::State& s) { runScript(s, kArrayLoop, 100000); }
void BM_StringBuild(benchmark::State& s) { runScript(s, kStringBuild, 20000); }
void BM_MethodCalls(benchmark::State& s) { runScript(s, kMethodCalls, 100000); }
void BM_ClosureCalls(benchmark::State& s) { runScript(s, kClosureCalls, 100000); }

BENCHMARK(BM_Fib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrayLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StringBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MethodCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosureCalls)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
