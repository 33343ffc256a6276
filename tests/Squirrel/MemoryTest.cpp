// Running a script must not leave memory behind once its values are gone: every kind of
// operation is exercised twice and the second run must end at the same usage as the first.
#include "TestEngine.h"

#include <gtest/gtest.h>

namespace {

struct LeakCase {
    const char* name;
    const char* source;
};

class NoLeaks : public ::testing::TestWithParam<LeakCase> {};

TEST_P(NoLeaks, MemoryReturnsToTheSameLevel) {
    SquirrelTest::TestEngine engine;
    ASSERT_TRUE(engine.run(GetParam().source)) << engine.lastError;
    size_t afterFirst = Squirrel::getMemoryUsage(engine.vm);
    ASSERT_TRUE(engine.run(GetParam().source)) << engine.lastError;
    EXPECT_EQ(Squirrel::getMemoryUsage(engine.vm), afterFirst);
}

const LeakCase kLeakCases[] = {
    {"StringConcatenation", "local s = \"\"; for (local i = 0; i < 200; i++) { s += i + \",\"; s = s + \"x\"; }"},
    {"FloatAndMixedArithmetic", "local f = 0.5; for (local i = 0; i < 100; i++) { f = f * 1.5 - i / 3.0 + (i % 7); }"},
    {"TablesAndDelegates",
     "local d = { _get = function(k) { return k + \"!\"; }, _set = function(k, v) {} };"
     " for (local i = 0; i < 50; i++) { local t = { a = i }.setdelegate(d); t.b = 1; local v = t.zz; t[i] <- v;"
     " delete t.a; foreach (k, x in t) {} }"},
    {"ClassesAndMetamethods",
     "class V { x = 0; constructor(a) { x = a; } function _add(o) { return V(x + o.x); }"
     " function _cmp(o) { return x <=> o.x; } function _tostring() { return \"V\" + x; }"
     " function _typeof() { return \"vec\"; } function _call(t, a) { return a; } function _unm() { return V(-x); } }"
     " for (local i = 0; i < 50; i++) { local a = V(i) + V(1); local s = a + \"\"; local t = typeof a;"
     " local c = a < V(3); local n = -a; local r = a(5); local k = clone a; }"},
    {"ExceptionsInLoops",
     "for (local i = 0; i < 100; i++) { try { if (i % 2) throw { code = i }; ({}).missing; } catch (e) { local m = e; } }"},
    {"ClosuresAndOuters",
     "for (local i = 0; i < 50; i++) { local n = i; local f = function() { n++; return @() n; }; f()(); }"},
    {"Generators",
     "function g(n) { for (local i = 0; i < n; i++) yield [i]; return \"end\"; }"
     " for (local r = 0; r < 20; r++) { foreach (v in g(5)) {} local it = g(3); resume it; }"},
    {"Threads",
     "for (local r = 0; r < 20; r++) { local t = newthread(function(a) { local b = suspend([a]); return {b = b}; });"
     " t.call(1); t.wakeup(2); }"},
    {"NativeCallbacks",
     "local a = []; for (local i = 0; i < 50; i++) a.append(i.tostring());"
     " for (local r = 0; r < 5; r++) { a.map(@(v) v + \"x\").filter(@(i, v) i % 2).sort(@(x, y) y <=> x);"
     " a.reduce(@(x, y) x + y); a.apply(@(v) v); }"},
    {"StringLibrary",
     "local r = regexp(@\"(\\w+)=(\\d+)\"); for (local i = 0; i < 50; i++) { r.capture(\"key=\" + i);"
     " format(\"%d %s %5.2f\", i, \"s\" + i, i * 0.5); split(\"a,b,,c\", \",\"); escape(\"a\\tb\" + i); strip(\" x \"); }"},
    {"BlobsAndWeakrefs",
     "for (local i = 0; i < 50; i++) { local b = blob(16); b.writen(i, 'i'); b[0] = 1; local c = clone b;"
     " local w = c.weakref(); c = null; foreach (x in b) {} }"},
    {"CyclesCollected", "for (local i = 0; i < 20; i++) { local a = {}; a.self <- a; local l = [a]; l.append(l); } collectgarbage();"},
    {"ErrorsInNatives",
     "for (local i = 0; i < 50; i++) { try { [].pop(); } catch (e) {} try { \"x\".slice(5); } catch (e) {}"
     " try { compilestring(\"local = \"); } catch (e) {} }"},
};
INSTANTIATE_TEST_SUITE_P(Script, NoLeaks, ::testing::ValuesIn(kLeakCases),
                         [](const ::testing::TestParamInfo<LeakCase>& info) { return std::string(info.param.name); });

}  // namespace
