// Language semantics: each case runs a script and compares what it printed.
#include "TestEngine.h"

#include <gtest/gtest.h>

namespace {

struct ScriptCase {
    const char* name;
    const char* source;
    const char* expected;
};

std::ostream& operator<<(std::ostream& os, const ScriptCase& c) { return os << c.name; }

class ScriptOutput : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptOutput, PrintsExpectedText) {
    SquirrelTest::TestEngine engine;
    EXPECT_EQ(engine.output(GetParam().source), GetParam().expected);
}

std::string caseName(const ::testing::TestParamInfo<ScriptCase>& info) { return info.param.name; }

const ScriptCase kControlFlow[] = {
    {"SwitchFallsThroughUntilBreak",
     "foreach (v in [1, 3, 5]) switch (v) { case 1: print(\"one \"); break; case 3: print(\"three \");"
     " case 4: print(\"four \"); break; default: print(\"other \"); }",
     "one three four other "},
    {"SwitchOnStrings", "switch (\"b\") { case \"a\": print(1); break; case \"b\": print(2); break; }", "2"},
    {"ContinueInsideSwitchContinuesTheLoop",
     "for (local i = 0; i < 3; i++) { switch (i) { case 1: continue; } print(i); }", "02"},
    {"BreakLeavesTryBlocks",
     "local s = \"\"; while (true) { try { try { s += \"a\"; break; } catch (e) {} } catch (e) {} }"
     " try { throw \"x\"; } catch (e) { s += e; } print(s);",
     "ax"},
    {"DoWhileRunsAtLeastOnce", "local n = 0; do { n++; } while (n > 5); print(n);", "1"},
    {"NestedFunctionsReturnThroughTry",
     "function f() { try { return g(); } catch (e) { return \"caught \" + e; } } function g() { throw 7; }"
     " print(f());",
     "caught 7"},
    {"TailCallsDoNotGrowTheStack",
     "function down(n) { if (n == 0) return \"done\"; return down(n - 1); } print(down(500000));", "done"},
};
INSTANTIATE_TEST_SUITE_P(ControlFlow, ScriptOutput, ::testing::ValuesIn(kControlFlow), caseName);

const ScriptCase kNumbers[] = {
    {"IntegersWrapAround", "print(0x7FFFFFFFFFFFFFFF + 1);", "-9223372036854775808"},
    {"DivisionTruncatesTowardZero", "print(-7 / 2 + \" \" + -7 % 3 + \" \" + 7 % -3);", "-3 -1 1"},
    {"MinIntegerDividedByMinusOne", "local m = -0x7FFFFFFFFFFFFFFF - 1; print((m / -1) + \" \" + (m % -1));",
     "-9223372036854775808 0"},
    {"IntegerDivisionByZeroRaises", "try { print(1 / 0); } catch (e) { print(e); }", "division by zero"},
    {"IntegerModuloByZeroRaises", "try { print(1 % 0); } catch (e) { print(e); }", "division by zero"},
    {"FloatsAreSinglePrecision", "print(format(\"%.10f\", 1.0 / 3) + \" \" + (16777216.0 + 1.0));",
     "0.3333333433 1.67772e+07"},
    {"FloatDivisionByZeroIsInfinite", "print((1.0 / 0) + \" \" + (-1.0 / 0));", "inf -inf"},
    {"NegativeZeroKeepsItsSign", "print(-0.0);", "-0"},
    {"ShiftsUseTheLowSixBits", "print((1 << 64) + \" \" + (-8 >> 1) + \" \" + (-8 >>> 61));", "1 -4 7"},
    {"IntegerFloatComparisonConvertsToFloat", "print((16777216 == 16777217.0) + \" \" + (1 < 1.5));",
     "true true"},
    {"ThreeWayComparison", "print((1 <=> 2) + \" \" + (2 <=> 2) + \" \" + (\"b\" <=> \"a\"));", "-1 0 1"},
    {"NullComparesBelowEverything", "print((null < 1) + \" \" + (\"a\" > null));", "true true"},
    {"IncrementOfFloatField", "local t = { v = 1.5 }; t.v++; ++t.v; print(t.v);", "3.5"},
    {"PostfixIncrementYieldsOldValue", "local i = 5; local j = i++; print(j + \" \" + i);", "5 6"},
};
INSTANTIATE_TEST_SUITE_P(Numbers, ScriptOutput, ::testing::ValuesIn(kNumbers), caseName);

const ScriptCase kScopes[] = {
    {"ForLoopVariableIsSharedByClosures",
     "local fs = []; for (local i = 0; i < 3; i++) fs.append(@() i); local s = \"\"; foreach (f in fs) s += f();"
     " print(s);",
     "333"},
    {"BodyLocalIsNewOnEveryPass",
     "local fs = []; for (local i = 0; i < 3; i++) { local j = i; fs.append(@() j); } local s = \"\";"
     " foreach (f in fs) s += f(); print(s);",
     "012"},
    {"ClosuresShareCapturedVariables",
     "function counter() { local n = 0; return { inc = @() ++n, get = @() n }; }"
     " local c = counter(); c.inc(); c.inc(); print(c.get());",
     "2"},
    {"OuterHidesClassMember",
     "local x = \"outer\"; class C { x = \"member\"; function get() { return x; } } print(C().get());", "outer"},
    {"ThisMemberFallsBackToRoot",
     "g <- \"global\"; class C { function get() { return g; } } print(C().get());", "global"},
    {"LocalFunctionCannotSeeItself",
     "function f() { return \"global f\"; } local function f() { return f(); } print(f());", "global f"},
    {"ConstantsAndEnums",
     "const A = 3; enum E { X, Y = 10, Z } print(A + \" \" + E.X + \" \" + E.Y + \" \" + E.Z);", "3 0 10 1"},
    {"DefaultParametersSeeEnclosingLocals",
     "local k = 5; function f(a, b = k * 2) { return a + b; } print(f(1) + \" \" + f(1, 1));", "11 2"},
    {"BindEnvChangesThis",
     "local env = { v = \"bound\" }; local f = function() { return this.v; }; local g = f.bindenv(env);"
     " print(g() + \" \"); env = null; print(g());",
     "bound error: the index 'v' does not exist"},
};
INSTANTIATE_TEST_SUITE_P(Scopes, ScriptOutput, ::testing::ValuesIn(kScopes), caseName);

const ScriptCase kObjects[] = {
    {"BaseMethodCallKeepsThis",
     "class A { v = 1; function who() { return \"A\" + v; } } class B extends A { v = 2;"
     " function who() { return \"B/\" + base.who(); } } print(B().who());",
     "B/A2"},
    {"InheritedMetamethodCmp",
     "class V { n = 0; constructor(x) { n = x; } function _cmp(o) { return n <=> o.n; } }"
     " local a = [V(3), V(1), V(2)]; a.sort(); print(a[0].n + \"\" + a[1].n + a[2].n + \" \" + (V(1) < V(2)));",
     "123 true"},
    {"CallMetamethodGetsOriginalThis",
     "local t = { _call = function(self, a) { return a * 2; } }; local o = {}.setdelegate(t); print(o(21));",
     "42"},
    {"NextiDrivesForeach",
     "class R { n = 0; constructor(k) { n = k; } function _nexti(i) { i = i == null ? 0 : i + 1;"
     " return i < n ? i : null; } function _get(i) { return i * i; } }"
     " local s = \"\"; foreach (i, v in R(4)) s += v + \",\"; print(s);",
     "0,1,4,9,"},
    {"NewslotAndDelslotMetamethods",
     "local log = \"\"; local d = { _newslot = function(k, v) { log += \"new \" + k + \";\"; },"
     " _delslot = function(k) { log += \"del \" + k + \";\"; } };"
     " local t = { a = 1 }.setdelegate(d); t.a <- 2; t.b <- 3; delete t.a; print(log + t.a);",
     "new b;del a;2"},
    {"InheritedAndNewmemberHooks",
     "local log = \"\"; class A { function _inherited(attrs) { log += \"inherited;\"; }"
     " function _newmember(k, v, a, s) { log += \"member \" + k + \";\"; } } class B extends A { x = 1; }"
     " print(log);",
     "inherited;member x;"},
    {"ClonedMetamethodSeesOriginal",
     "class P { tag = \"\"; function _cloned(orig) { tag = \"copy of \" + orig.tag; } }"
     " local p = P(); p.tag = \"p\"; print((clone p).tag);",
     "copy of p"},
    {"StaticMembersAreShared",
     "class C { static list = []; } C().list.append(1); C.list.append(2); print(C.list.len());", "2"},
    {"InstanceofFollowsInheritance",
     "class A {} class B extends A {} local b = B(); print((b instanceof A) + \" \" + (b instanceof B));",
     "true true"},
    {"ClassIterationListsMembers",
     "class C { a = 1; function f() {} } local n = 0; foreach (k, v in C) n++; print(n);", "2"},
    {"DelegateLookupThroughChain",
     "local a = { x = \"deep\" }; local b = {}.setdelegate(a); local c = {}.setdelegate(b); print(c.x);",
     "deep"},
};
INSTANTIATE_TEST_SUITE_P(Objects, ScriptOutput, ::testing::ValuesIn(kObjects), caseName);

const ScriptCase kGeneratorsAndThreads[] = {
    {"GeneratorSeesUpdatedOuter",
     "local k = 10; function g() { yield k; yield k; } local it = g(); local a = resume it; k = 20;"
     " print(a + \" \" + resume it);",
     "10 20"},
    {"YieldClosesTheGeneratorsOuters",
     "local get; function g() { local v = 1; get = @() v; yield 0; v = 2; yield 0; }"
     " local it = g(); resume it; local a = get(); resume it; print(a + \" \" + get());",
     "1 1"},
    {"HandlerRunsForErrorsCaughtInsideAGeneratorDrivenByForeach",
     "seterrorhandler(function(e) { print(\"handler:\" + e + \" \"); });"
     " function g() { try { yield 1; throw \"x\"; } catch (e) { yield \"caught\"; } }"
     " local it = g(); resume it; print(resume it + \" \");"
     " foreach (v in g()) print(v + \" \");",
     "caught 1 handler:x caught "},
    {"GeneratorCatchesItsOwnErrors",
     "function g() { try { yield 1; throw \"boom\"; } catch (e) { yield \"caught \" + e; } }"
     " local s = \"\"; foreach (v in g()) s += v + \";\"; print(s);",
     "1;caught boom;"},
    {"ThreadSuspendAndWakeup",
     "local t = newthread(function(a) { local b = suspend(a + 1); return b * 2; });"
     " local x = t.call(1); local y = t.wakeup(10); print(x + \" \" + y + \" \" + t.getstatus());",
     "2 20 idle"},
    {"SuspendFromANestedFunctionAndATailCall",
     "function helper(x) { return suspend(x * 10); }"
     " local t = newthread(function(a) { local r = helper(a); return \"done \" + helper(r); });"
     " print(t.call(1) + \" \" + t.wakeup(2) + \" \" + t.wakeup(3) + \" \" + t.getstatus());",
     "10 20 done 3 idle"},
    {"SuspendInsideACallbackIsRefused",
     "local t = newthread(function() { return [1].map(@(v) suspend(v)); });"
     " try { t.call(); } catch (e) { print(e); }",
     "cannot suspend through native calls"},
    {"WakeupThrowRaisesInsideTheThread",
     "local t = newthread(function() { try { suspend(1); } catch (e) { return \"got \" + e; } });"
     " t.call(); print(t.wakeupthrow(\"err\"));",
     "got err"},
};
INSTANTIATE_TEST_SUITE_P(GeneratorsAndThreads, ScriptOutput, ::testing::ValuesIn(kGeneratorsAndThreads), caseName);

const ScriptCase kMemory[] = {
    {"ObjectsDieWithTheirLastReference",
     "local t = {}; local w = t.weakref(); t = null; print(w.ref() == null);", "true"},
    {"WeakrefInTableReadsAsTarget",
     "local o = {}; local t = { w = o.weakref() }; print((t.w == o) + \" \"); o = null; print(t.w);",
     "true null"},
    {"CyclesNeedTheCollector",
     "local a = {}; local b = { a = a }; a.b <- b; local w = a.weakref(); a = null; b = null;"
     " print((w.ref() != null) + \" \"); collectgarbage(); print(w.ref() == null);",
     "true true"},
    {"ResurrectUnreachableReturnsCycles",
     "local a = []; a.append(a); a = null; local r = resurrectunreachable(); print(typeof r + \" \" + r.len());",
     "array 1"},
};
INSTANTIATE_TEST_SUITE_P(Memory, ScriptOutput, ::testing::ValuesIn(kMemory), caseName);

const ScriptCase kErrorTexts[] = {
    {"MissingIndex", "try { ({}).x; } catch (e) { print(e); }", "the index 'x' does not exist"},
    {"LongKeyIsCutInTheMessage",
     "try { ({})[\"abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijXYZ\"]; } catch (e) { print(e); }",
     "the index 'abcdefghijabcdefghijabcdefghijabcdefghijabcdefghij' does not exist"},
    {"FloatKeyUsesFourteenDigits", "try { ({})[0.1]; } catch (e) { print(e); }",
     "the index '0.10000000149012' does not exist"},
    {"CallingANonFunction", "try { local x = 5; x(); } catch (e) { print(e); }", "attempt to call 'integer'"},
    {"NegatingATable", "try { -{}; } catch (e) { print(e); }", "attempt to negate a table"},
    {"DeletingFromAnArray", "try { local a = [1]; delete a[0]; } catch (e) { print(e); }",
     "attempt to delete a slot from a array"},
    {"InstanceofNeedsAClass", "try { ({}) instanceof 5; } catch (e) { print(e); }",
     "cannot apply instanceof between a table and a integer"},
    {"ComparingIncompatibleTypes", "try { 1 < \"a\"; } catch (e) { print(e); }",
     "comparison between 'integer' and 'string'"},
    {"CmpMustReturnAnInteger",
     "class C { function _cmp(o) { return \"x\"; } } try { C() < C(); } catch (e) { print(e); }",
     "_cmp must return an integer"},
    {"IteratingANumber", "try { foreach (x in 5) {} } catch (e) { print(e); }", "cannot iterate integer"},
    {"ResumingANonGenerator", "try { resume 5; } catch (e) { print(e); }",
     "trying to resume a 'integer',only genenerator can be resumed"},
    {"SettingAStringIndex", "try { local s = \"a\"; s[0] = 1; } catch (e) { print(e); }",
     "trying to set 'string'"},
    {"BitwiseNotOfAFloat", "try { ~1.5; } catch (e) { print(e); }", "attempt to perform a bitwise op on a float"},
    {"SortComparatorMustReturnANumber", "try { [2, 1].sort(@(a, b) \"x\"); } catch (e) { print(e); }",
     "numeric value expected as return value of the compare function"},
    {"FormatNeedsAStringForS", "try { format(\"%s\", 1); } catch (e) { print(e); }",
     "string expected for the specified format"},
    {"FormatWidthIsLimited", "try { format(\"%100d\", 1); } catch (e) { print(e); }", "width format too long"},
    {"UnknownFormat", "try { format(\"%k\", 1); } catch (e) { print(e); }", "invalid format"},
};
INSTANTIATE_TEST_SUITE_P(ErrorTexts, ScriptOutput, ::testing::ValuesIn(kErrorTexts), caseName);

const ScriptCase kLibraries[] = {
    {"RegexRepetitionStopsAtTheFollowingItem",
     "local r = regexp(\"a.*b\").search(\"a1b2b3\"); print(r.begin + \":\" + r.end);", "0:3"},
    {"RegexNoBacktrackingIntoRepetition", "print(regexp(\"ab*bc\").search(\"abbbc\"));", "null"},
    {"RegexWordBoundaryLooksAtTheNextCharacter",
     "print(regexp(@\"\\bfoo\").search(\"a foo\") + \" \" + regexp(@\"foo\\b\").match(\"foo\"));", "null true"},
    {"RegexCaptureOfAnUnusedGroup",
     "local s = \"\"; foreach (m in regexp(\"(a)|(b)\").capture(\"b\")) s += m.begin + \"-\" + m.end + \" \"; print(s);",
     "0-1 0-0 0-1 "},
    {"RegexSearchFromAnOffsetAnchorsThere",
     "local r = regexp(\"^b\").search(\"abab\", 1); print(r.begin + \":\" + r.end);", "1:2"},
    {"BlobReadsWhatWasWritten",
     "local b = blob(); b.writen(-2, 'c'); b.writen(65535, 'w'); b.writen(-5, 'i'); b.writen(2.5, 'd'); b.seek(0);"
     " print(b.readn('c') + \" \" + b.readn('w') + \" \" + b.readn('i') + \" \" + b.readn('d') + \" \" + b.eos());",
     "-2 65535 -5 2.5 1"},
    {"BlobSeekReportsBadOffsets",
     "local b = blob(4); print(b.seek(5) + \" \" + b.seek(-1, 'e') + \" \" + b.tell());", "-1 0 3"},
    {"FormatFlagsWidthAndPrecision",
     "print(format(\"[%5d][%-4s][%05.1f][%x][%c]\", 42, \"ab\", 3.14159, 255, 65));", "[   42][ab  ][003.1][ff][A]"},
    {"SplitAndStrip", "local p = split(\" a ,b,,\", \",\"); print(p.len() + \"|\" + strip(p[0]) + \"|\" + p[2] + \"|\");",
     "3|a||"},
    {"StringFindNeedsAStartInsideTheString", "print(\"abc\".find(\"c\", 2) + \" \" + \"abc\".find(\"\", 3));", "2 null"},
    {"DebugHookSeesCallsReturnsAndLines",
     "local ev = []; enabledebuginfo(true); local code = compilestring(\"function f() {\\n return 1;\\n}\\nf();\");"
     " setdebughook(function(t, src, line, name) { ev.append(t.tochar() + name + line); }); code(); setdebughook(null);"
     " local s = \"\"; foreach (e in ev) s += e + \" \"; print(s);",
     "cmain1 lmain1 lmain4 cf1 lf1 lf2 rf2 rmain4 "},
    {"NewmemberHookReplacesTheDeclaration",
     "class A { function _newmember(k, v, a, s) { rawnewmember(k, v, a, s); ::trace <- (\"trace\" in getroottable() ? ::trace : \"\") + k; } }"
     " class B extends A { x = 1; function f() {} } print(trace + \" \" + B.x);",
     "xf 1"},
};
INSTANTIATE_TEST_SUITE_P(Libraries, ScriptOutput, ::testing::ValuesIn(kLibraries), caseName);

// Runaway recursion through metamethods and callbacks stops with an error instead of
// exhausting the native stack.
const ScriptCase kRunawayRecursion[] = {
    {"ThroughGet", "class R { function _get(k) { return this[k + \"x\"]; } } try { R().a; } catch (e) { print(e); }",
     "native stack overflow"},
    {"ThroughArrayCallbacks", "function f(v) { return [v].map(f); } try { f(1); } catch (e) { print(e); }",
     "native stack overflow"},
    {"ThroughAcall", "function g() { return g.acall([this]); } try { g(); } catch (e) { print(e); }",
     "native stack overflow"},
    {"CallHelperRunsInTheSameLoop", "function g() { return g.call(this); } try { g(); } catch (e) { print(e); }",
     "stack overflow"},
    {"ThroughTostring", "class T { function _tostring() { return \"\" + this; } } try { \"\" + T(); } catch (e) { print(e); }",
     "native stack overflow"},
    {"ThroughThreads", "function h() { return newthread(h).call(); } try { h(); } catch (e) { print(e); }",
     "native stack overflow"},
    {"CallHelperLeavesNoFrame",
     "function f() { return getstackinfos(2).func; } function g() { return f.call(this) + \"\"; } print(g());", "g"},
    {"PlainScriptRecursion", "function r(n) { return r(n + 1) + 1; } try { r(0); } catch (e) { print(e); }", "stack overflow"},
};
INSTANTIATE_TEST_SUITE_P(RunawayRecursion, ScriptOutput, ::testing::ValuesIn(kRunawayRecursion), caseName);

struct CompileCase {
    const char* name;
    const char* source;
    const char* message;
};

class CompileErrors : public ::testing::TestWithParam<CompileCase> {};

TEST_P(CompileErrors, ReportTheMessage) {
    SquirrelTest::TestEngine engine;
    EXPECT_FALSE(engine.run(GetParam().source));
    EXPECT_EQ(engine.lastError, GetParam().message);
}

const CompileCase kCompileCases[] = {
    {"MissingExpression", "local a = ;", "expression expected"},
    {"UnterminatedString", "local s = \"abc", "unfinished string"},
    {"NewlineInString", "local s = \"ab\ncd\";", "newline in a constant"},
    {"CharConstantTooLong", "local c = 'ab';", "constant too long"},
    {"EmptyCharConstant", "local c = '';", "empty constant"},
    {"BreakOutsideLoop", "break;", "'break' has to be in a loop block"},
    {"ContinueInSwitchOutsideLoop", "switch (1) { case 1: continue; }", "'continue' has to be in a loop block"},
    {"AssignToConstant", "const C = 1; C = 2;", "can't assign expression"},
    {"MissingStatementEnd", "local a = 1 local b = 2", "end of statement expected (; or lf)"},
    {"DefaultsWithVarargs", "function f(a = 1, ...) {}",
     "function with default parameters cannot have variable number of parameters"},
    {"MissingParenthesis", "local a = (1 + 2;", "expected ')'"},
    {"KeywordAsName", "local = 5;", "expected 'IDENTIFIER'"},
    {"BracketAfterNewline", "local t = {}\n[1]", "cannot brake deref/or comma needed after [exp]=exp slot declaration"},
};
INSTANTIATE_TEST_SUITE_P(Compiler, CompileErrors, ::testing::ValuesIn(kCompileCases),
                         [](const ::testing::TestParamInfo<CompileCase>& info) { return std::string(info.param.name); });

}  // namespace
