// The embedding interface as a native binding uses it.
#include "TestEngine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace Squirrel;
using SquirrelTest::TestEngine;

namespace {

std::string topString(HVM vm) {
    const char* s = nullptr;
    if (failed(getString(vm, -1, &s))) return "<not a string>";
    return s;
}

// Calls the global function `name` with integer arguments and returns its result as text.
std::string callGlobal(HVM vm, const char* name, std::initializer_list<Integer> args) {
    Integer top = getTop(vm);
    pushRootTable(vm);
    pushString(vm, name);
    if (failed(get(vm, -2))) {
        setTop(vm, top);
        return "<missing>";
    }
    pushRootTable(vm);
    for (Integer a : args) pushInteger(vm, a);
    std::string r;
    if (failed(call(vm, Integer(args.size()) + 1, true, false))) {
        getLastError(vm);
        r = "error: " + topString(vm);
    } else if (succeeded(toString(vm, -1))) {
        r = topString(vm);
    }
    setTop(vm, top);
    return r;
}

void setGlobalFunction(HVM vm, const char* name, NativeFunction fn, Integer nparams = 0, const char* mask = nullptr) {
    pushRootTable(vm);
    pushString(vm, name);
    newClosure(vm, fn, 0);
    if (nparams || mask) setParamsCheck(vm, nparams, mask);
    setNativeClosureName(vm, -1, name);
    newSlot(vm, -3, false);
    pop(vm, 1);
}

TEST(SquirrelApi, ScalarsRoundTripThroughTheStack) {
    TestEngine e;
    HVM vm = e.vm;
    pushNull(vm);
    pushBool(vm, true);
    pushInteger(vm, -42);
    pushFloat(vm, 2.5f);
    pushString(vm, "a\0b", 3);
    int marker = 0;
    pushUserPointer(vm, &marker);
    ASSERT_EQ(getTop(vm), 6);
    EXPECT_EQ(getType(vm, 1), ObjectType::Null);
    bool b = false;
    EXPECT_TRUE(succeeded(getBool(vm, 2, &b)));
    EXPECT_TRUE(b);
    Integer i = 0;
    EXPECT_TRUE(succeeded(getInteger(vm, 3, &i)));
    EXPECT_EQ(i, -42);
    Float f = 0;
    EXPECT_TRUE(succeeded(getFloat(vm, -3, &f)));
    EXPECT_EQ(f, 2.5f);
    const char* s = nullptr;
    Integer len = 0;
    EXPECT_TRUE(succeeded(getStringAndSize(vm, 5, &s, &len)));
    EXPECT_EQ(len, 3);
    EXPECT_EQ(std::memcmp(s, "a\0b", 3), 0);
    UserPointer p = nullptr;
    EXPECT_TRUE(succeeded(getUserPointer(vm, -1, &p)));
    EXPECT_EQ(p, &marker);
    // wrong kinds are refused
    EXPECT_TRUE(failed(getString(vm, 3, &s)));
    EXPECT_TRUE(failed(getBool(vm, 3, &b)));
    EXPECT_EQ(std::string(typeName(getType(vm, 4))), "float");
    pop(vm, 6);
    EXPECT_EQ(getTop(vm), 0);
}

TEST(SquirrelApi, TablesArraysAndSlots) {
    TestEngine e;
    HVM vm = e.vm;
    newTable(vm);
    pushString(vm, "answer");
    pushInteger(vm, 42);
    ASSERT_TRUE(succeeded(newSlot(vm, -3, false)));
    pushString(vm, "answer");
    ASSERT_TRUE(succeeded(get(vm, -2)));
    Integer v = 0;
    getInteger(vm, -1, &v);
    EXPECT_EQ(v, 42);
    pop(vm, 1);
    pushString(vm, "missing");
    EXPECT_TRUE(failed(get(vm, -2)));
    getLastError(vm);
    EXPECT_EQ(topString(vm), "the index 'missing' does not exist");
    pop(vm, 1);
    EXPECT_EQ(getSize(vm, -1), 1);

    newArray(vm, 0);
    for (Integer n = 0; n < 5; ++n) {
        pushInteger(vm, n * 10);
        arrayAppend(vm, -2);
    }
    EXPECT_EQ(getSize(vm, -1), 5);
    ASSERT_TRUE(succeeded(arrayPop(vm, -1, true)));
    getInteger(vm, -1, &v);
    EXPECT_EQ(v, 40);
    pop(vm, 1);
    ASSERT_TRUE(succeeded(arrayReverse(vm, -1)));
    // iteration yields index and value pairs
    pushNull(vm);
    std::vector<Integer> seen;
    while (succeeded(next(vm, -2))) {
        Integer item = 0;
        getInteger(vm, -1, &item);
        seen.push_back(item);
        pop(vm, 2);
    }
    pop(vm, 1);
    EXPECT_EQ(seen, (std::vector<Integer>{30, 20, 10, 0}));
    pop(vm, 2);
}

TEST(SquirrelApi, TableDelegatesAreConsulted) {
    TestEngine e;
    HVM vm = e.vm;
    newTable(vm);  // the object
    newTable(vm);  // its delegate
    pushString(vm, "inherited");
    pushString(vm, "from delegate");
    newSlot(vm, -3, false);
    ASSERT_TRUE(succeeded(setDelegate(vm, -2)));
    pushString(vm, "inherited");
    ASSERT_TRUE(succeeded(get(vm, -2)));
    EXPECT_EQ(topString(vm), "from delegate");
    pop(vm, 1);
    pushString(vm, "inherited");
    EXPECT_FALSE(rawIn(vm, -2));
    ASSERT_TRUE(succeeded(getDelegate(vm, -1)));
    EXPECT_EQ(getType(vm, -1), ObjectType::Table);
    pop(vm, 2);
}

Integer nativeAdd(HVM vm) {
    Integer a = 0, b = 0;
    getInteger(vm, 2, &a);
    getInteger(vm, 3, &b);
    pushInteger(vm, a + b);
    return 1;
}

Integer nativeCounter(HVM vm) {
    // free variable 1 is an array used as a counter cell
    getFreeVariable(vm, 0, 0);
    Integer idx = getTop(vm);
    Integer n = 0;
    pushInteger(vm, 0);
    get(vm, idx);
    getInteger(vm, -1, &n);
    pop(vm, 1);
    pushInteger(vm, 0);
    pushInteger(vm, n + 1);
    set(vm, idx);
    pushInteger(vm, n + 1);
    return 1;
}

Integer nativeFails(HVM vm) { return throwError(vm, "native failure"); }

TEST(SquirrelApi, NativeFunctionsWithChecksAndFreeVariables) {
    TestEngine e;
    HVM vm = e.vm;
    setGlobalFunction(vm, "add", nativeAdd, 3, ".nn");
    setGlobalFunction(vm, "fails", nativeFails);
    pushRootTable(vm);
    pushString(vm, "counter");
    newArray(vm, 1);
    pushInteger(vm, 0);
    pushInteger(vm, 0);
    set(vm, -3);
    newClosure(vm, nativeCounter, 1);
    newSlot(vm, -3, false);
    pop(vm, 1);

    struct Case {
        const char* script;
        const char* expected;
    } cases[] = {
        {"print(add(2, 3));", "5"},
        {"try { add(1); } catch (e) { print(e); }", "wrong number of parameters"},
        {"try { add(1, \"x\"); } catch (e) { print(e); }",
         "parameter 2 has an invalid type 'string' ; expected: 'integer|float'"},
        {"try { fails(); } catch (e) { print(e); }", "native failure"},
        {"counter(); counter(); print(counter());", "3"},
        {"print(add.getinfos().name + \" \" + add.getinfos().paramscheck);", "add 3"},
    };
    for (const Case& c : cases) EXPECT_EQ(e.output(c.script), c.expected) << c.script;
}

struct Counter {
    int value = 0;
    static int released;
};
int Counter::released = 0;
const int kCounterTag = 0;

Integer releaseCounter(UserPointer p, Integer) {
    delete static_cast<Counter*>(p);
    ++Counter::released;
    return 1;
}

Integer counterConstructor(HVM vm) {
    Counter* c = new Counter();
    Integer start = 0;
    if (getTop(vm) > 1) getInteger(vm, 2, &start);
    c->value = int(start);
    setInstanceUp(vm, 1, c);
    setReleaseHook(vm, 1, releaseCounter);
    return 0;
}

Integer counterBump(HVM vm) {
    UserPointer p = nullptr;
    if (failed(getInstanceUp(vm, 1, &p, &kCounterTag, true))) return Error;
    Counter* c = static_cast<Counter*>(p);
    pushInteger(vm, ++c->value);
    return 1;
}

void registerCounterClass(HVM vm) {
    pushRootTable(vm);
    pushString(vm, "Counter");
    newClass(vm, false);
    setTypeTag(vm, -1, &kCounterTag);
    struct {
        const char* name;
        NativeFunction fn;
    } methods[] = {{"constructor", counterConstructor}, {"bump", counterBump}};
    for (auto& m : methods) {
        pushString(vm, m.name);
        newClosure(vm, m.fn, 0);
        setNativeClosureName(vm, -1, m.name);
        newSlot(vm, -3, false);
    }
    newSlot(vm, -3, false);
    pop(vm, 1);
}

TEST(SquirrelApi, NativeClassesWithUserPointersAndReleaseHooks) {
    Counter::released = 0;
    {
        TestEngine e;
        registerCounterClass(e.vm);
        EXPECT_EQ(e.output("local c = Counter(5); c.bump(); print(c.bump());"), "7");
        EXPECT_EQ(Counter::released, 1);  // freed as soon as the script dropped it
        EXPECT_EQ(e.output("class Sub extends Counter { function twice() { bump(); return bump(); } }"
                           " print(Sub(1).twice() + \" \" + (Sub(0) instanceof Counter));"),
                  "3 true");
        EXPECT_EQ(e.output("local f = Counter.bump; try { f.call({}); } catch (e) { print(e); }"),
                  "the object is not a class instance");
        EXPECT_TRUE(e.run("keep <- Counter(1);"));
        EXPECT_EQ(Counter::released, 3);
    }
    EXPECT_EQ(Counter::released, 4);  // closing the VM releases what scripts still held
}

TEST(SquirrelApi, ClassMembersWithAttributes) {
    TestEngine e;
    HVM vm = e.vm;
    newClass(vm, false);
    pushString(vm, "speed");
    pushInteger(vm, 3);
    newTable(vm);
    pushString(vm, "unit");
    pushString(vm, "m/s");
    newSlot(vm, -3, false);
    ASSERT_TRUE(succeeded(newMember(vm, -4, false)));
    pushString(vm, "speed");
    ASSERT_TRUE(succeeded(getAttributes(vm, -2)));
    pushString(vm, "unit");
    ASSERT_TRUE(succeeded(get(vm, -2)));
    EXPECT_EQ(topString(vm), "m/s");
    pop(vm, 2);
    Integer handle = 0;
    pushString(vm, "speed");
    ASSERT_TRUE(succeeded(getMemberHandle(vm, -2, &handle)));
    ASSERT_TRUE(succeeded(createInstance(vm, -1)));
    ASSERT_TRUE(succeeded(getByHandle(vm, -1, handle)));
    Integer speed = 0;
    getInteger(vm, -1, &speed);
    EXPECT_EQ(speed, 3);
    pop(vm, 3);
}

TEST(SquirrelApi, CallsReturnErrorsToTheCaller) {
    TestEngine e;
    ASSERT_TRUE(e.run("function div(a, b) { return a / b; } function mod(a, b) { return a % b; }"));
    EXPECT_EQ(callGlobal(e.vm, "div", {7, 2}), "3");
    EXPECT_EQ(callGlobal(e.vm, "div", {1, 0}), "error: division by zero");
    EXPECT_EQ(callGlobal(e.vm, "mod", {1, 0}), "error: division by zero");
    EXPECT_EQ(callGlobal(e.vm, "div", {1}), "error: wrong number of parameters (2 passed, 3 required)");
    EXPECT_EQ(getTop(e.vm), 0);
}

struct HandlerLog {
    std::string message;
    std::vector<std::string> frames;
    std::vector<std::string> locals;
};
HandlerLog* gHandlerLog = nullptr;

Integer recordingHandler(HVM vm) {
    const char* msg = nullptr;
    if (succeeded(getString(vm, 2, &msg))) gHandlerLog->message = msg;
    StackInfo si;
    for (Integer level = 1; succeeded(stackInfos(vm, level, &si)); ++level)
        gHandlerLog->frames.push_back(std::string(si.function) + "@" + si.source + ":" + std::to_string(si.line));
    const char* name;
    for (Integer seq = 0; (name = getLocal(vm, 1, seq)) != nullptr; ++seq) {
        toString(vm, -1);
        gHandlerLog->locals.push_back(std::string(name) + "=" + topString(vm));
        pop(vm, 2);
    }
    return 0;
}

TEST(SquirrelApi, RuntimeErrorHandlerSeesTheStack) {
    TestEngine e;
    HandlerLog log;
    gHandlerLog = &log;
    newClosure(e.vm, recordingHandler, 0);
    setErrorHandler(e.vm);
    EXPECT_FALSE(e.run("function inner(a) {\n local b = a * 2;\n throw \"bad \" + b;\n}\n"
                       "function outer() { return inner(4) + 1; }\nouter();",
                       "script.nut"));
    gHandlerLog = nullptr;
    EXPECT_EQ(log.message, "bad 8");
    EXPECT_EQ(log.frames,
              (std::vector<std::string>{"inner@script.nut:3", "outer@script.nut:5", "main@script.nut:6"}));
    ASSERT_EQ(log.locals.size(), 3u);
    EXPECT_EQ(log.locals[0], "b=8");
    EXPECT_EQ(log.locals[1], "a=4");
    EXPECT_EQ(log.locals[2].substr(0, 12), "this=(table ");
}

struct CompileLog {
    std::string message, source;
    Integer line = 0, column = 0;
};
CompileLog* gCompileLog = nullptr;

void recordCompileError(HVM, const char* msg, const char* src, Integer line, Integer col) {
    gCompileLog->message = msg;
    gCompileLog->source = src;
    gCompileLog->line = line;
    gCompileLog->column = col;
}

TEST(SquirrelApi, CompileErrorHandlerGetsThePosition) {
    TestEngine e;
    CompileLog log;
    gCompileLog = &log;
    setCompilerErrorHandler(e.vm, recordCompileError);
    EXPECT_FALSE(e.run("local ok = 1;\nlocal broken = (1 + ;\n", "bad.nut"));
    gCompileLog = nullptr;
    EXPECT_EQ(log.message, "expression expected");
    EXPECT_EQ(log.source, "bad.nut");
    EXPECT_EQ(log.line, 2);
    EXPECT_EQ(log.column, 22);
    EXPECT_EQ(e.lastError, "expression expected");
}

TEST(SquirrelApi, CountedAndWeakReferences) {
    TestEngine e;
    HVM vm = e.vm;
    Object held;
    newTable(vm);
    getStackObject(vm, -1, &held);
    addRef(vm, &held);
    weakRef(vm, -1);
    Object weak;
    getStackObject(vm, -1, &weak);
    addRef(vm, &weak);
    pop(vm, 2);
    EXPECT_EQ(getRefCount(vm, &held), 1);
    pushObject(vm, weak);
    ASSERT_TRUE(succeeded(getWeakRefValue(vm, -1)));
    EXPECT_EQ(getType(vm, -1), ObjectType::Table);
    pop(vm, 2);
    EXPECT_TRUE(release(vm, &held));  // the last strong reference
    pushObject(vm, weak);
    ASSERT_TRUE(succeeded(getWeakRefValue(vm, -1)));
    EXPECT_EQ(getType(vm, -1), ObjectType::Null);
    pop(vm, 2);
    release(vm, &weak);

    // the RAII helper
    Ref r;
    pushString(vm, "kept");
    r.reset(vm, -1);
    pop(vm, 1);
    Ref copy = r;
    r.reset();
    copy.push(vm);
    EXPECT_EQ(topString(vm), "kept");
    pop(vm, 1);
}

TEST(SquirrelApi, RootAndConstTablesCanBeSwitched) {
    TestEngine e;
    HVM vm = e.vm;
    ASSERT_TRUE(e.run("marker <- \"original\"; function readMarker() { return ::marker; }"));
    pushRootTable(vm);
    pushString(vm, "readMarker");
    ASSERT_TRUE(succeeded(get(vm, -2)));
    Ref oldReader(vm, -1);
    pop(vm, 2);
    Ref oldRoot;
    pushRootTable(vm);
    oldRoot.reset(vm, -1);
    pop(vm, 1);

    newTable(vm);
    pushString(vm, "marker");
    pushString(vm, "swapped");
    newSlot(vm, -3, false);
    ASSERT_TRUE(succeeded(setRootTable(vm)));
    // code compiled now sees the new root; the old closure keeps its own
    ASSERT_TRUE(succeeded(compileBuffer(vm, "return ::marker;", -1, "probe", true)));
    pushRootTable(vm);
    ASSERT_TRUE(succeeded(call(vm, 1, true, true)));
    EXPECT_EQ(topString(vm), "swapped");
    pop(vm, 2);
    oldReader.push(vm);
    pushRootTable(vm);
    ASSERT_TRUE(succeeded(call(vm, 1, true, true)));
    EXPECT_EQ(topString(vm), "original");
    pop(vm, 2);

    oldRoot.push(vm);
    ASSERT_TRUE(succeeded(setRootTable(vm)));
    newTable(vm);
    pushString(vm, "LIMIT");
    pushInteger(vm, 7);
    newSlot(vm, -3, false);
    ASSERT_TRUE(succeeded(setConstTable(vm)));
    EXPECT_EQ(e.output("print(LIMIT * 2);"), "14");
}

TEST(SquirrelApi, ThreadsSuspendAndWakeUp) {
    TestEngine e;
    HVM vm = e.vm;
    HVM th = newThread(vm, 256);
    ASSERT_TRUE(e.run("function worker(x) { local got = suspend(x * 2); return got + 1; }"));
    pushRootTable(th);
    pushString(th, "worker");
    ASSERT_TRUE(succeeded(get(th, -2)));
    pushRootTable(th);
    pushInteger(th, 21);
    ASSERT_TRUE(succeeded(call(th, 2, true, true)));
    EXPECT_EQ(getVMState(th), VMState::Suspended);
    Integer v = 0;
    getInteger(th, -1, &v);
    EXPECT_EQ(v, 42);
    pop(th, 1);
    pushInteger(th, 99);
    ASSERT_TRUE(succeeded(wakeupVM(th, true, true, true)));
    getInteger(th, -1, &v);
    EXPECT_EQ(v, 100);
    EXPECT_EQ(getVMState(th), VMState::Idle);
    pop(vm, 1);
}

TEST(SquirrelApi, GarbageCollectionFreesCycles) {
    Counter::released = 0;
    TestEngine e;
    registerCounterClass(e.vm);
    ASSERT_TRUE(e.run("local a = { c = Counter(0) }; local b = { a = a }; a.b <- b;"));
    EXPECT_EQ(Counter::released, 0);
    EXPECT_GE(collectGarbage(e.vm), 2);
    EXPECT_EQ(Counter::released, 1);
    EXPECT_EQ(collectGarbage(e.vm), 0);
}

int gSteps = 0;
int stopAfterSomeSteps(HVM, void*) { return ++gSteps > 1000; }

TEST(SquirrelApi, LimitsStopHostileScripts) {
    {
        TestEngine e;
        setMaxCallDepth(e.vm, 500);
        EXPECT_FALSE(e.run("function f(n) { return f(n + 1) + 1; } f(0);"));
        EXPECT_EQ(e.lastError, "stack overflow");
        // the VM stays usable
        EXPECT_EQ(e.output("print(\"alive\");"), "alive");
    }
    {
        TestEngine e;
        gSteps = 0;
        setStepHook(e.vm, stopAfterSomeSteps, nullptr, 1);
        EXPECT_FALSE(e.run("while (true) { try { local x = 1; } catch (e) {} }"));
        EXPECT_EQ(e.lastError, "execution aborted");
    }
    {
        TestEngine e;
        setMemoryLimit(e.vm, getMemoryUsage(e.vm) + (8u << 20));
        EXPECT_FALSE(e.run("local a = []; while (true) { try { a.append(array(1000)); } catch (e) {} }"));
        EXPECT_EQ(e.lastError, "out of memory");
        EXPECT_FALSE(e.run("local s = \"x\"; while (true) s += s;"));
    }
}

}  // namespace

namespace {

std::vector<std::string>* gHookEvents = nullptr;

void recordHook(HVM, Integer event, const char*, Integer line, const char* fn) {
    gHookEvents->push_back(std::string(1, char(event)) + (fn ? fn : "?") + std::to_string(line));
}

Integer countingHandler(HVM vm) {
    const char* msg = nullptr;
    if (succeeded(getString(vm, 2, &msg))) gHookEvents->push_back(std::string("error ") + msg);
    return 0;
}

TEST(SquirrelApi, NativeDebugHookSeesCallsLinesAndReturns) {
    TestEngine e;
    std::vector<std::string> events;
    gHookEvents = &events;
    enableDebugInfo(e.vm, true);
    setNativeDebugHook(e.vm, recordHook);
    ASSERT_TRUE(e.run("function f() {\n return 1;\n}\nf();"));
    setNativeDebugHook(e.vm, nullptr);
    gHookEvents = nullptr;
    EXPECT_EQ(events, (std::vector<std::string>{"cmain1", "lmain1", "lmain4", "cf1", "lf1", "lf2", "rf2", "rmain4"}));
}

TEST(SquirrelApi, NotifyAllExceptionsReportsCaughtErrors) {
    TestEngine e;
    std::vector<std::string> events;
    gHookEvents = &events;
    newClosure(e.vm, countingHandler, 0);
    setErrorHandler(e.vm);
    ASSERT_TRUE(e.run("try { throw \"first\"; } catch (x) {}"));
    EXPECT_TRUE(events.empty());
    notifyAllExceptions(e.vm, true);
    ASSERT_TRUE(e.run("try { throw \"second\"; } catch (x) {}"));
    gHookEvents = nullptr;
    EXPECT_EQ(events, (std::vector<std::string>{"error second"}));
}

}  // namespace

namespace {

TEST(SquirrelApi, GeneratorsResumeFromTheHost) {
    TestEngine e;
    HVM vm = e.vm;
    ASSERT_TRUE(e.run("function counter() { for (local i = 1; i <= 3; i++) yield i * 10; return \"end\"; }"));
    pushRootTable(vm);
    pushString(vm, "counter");
    ASSERT_TRUE(succeeded(get(vm, -2)));
    pushRootTable(vm);
    ASSERT_TRUE(succeeded(call(vm, 1, true, true)));  // makes the generator
    ASSERT_EQ(getType(vm, -1), ObjectType::Generator);
    std::vector<std::string> got;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(succeeded(resumeGenerator(vm, true, true)));
        toString(vm, -1);
        got.push_back(topString(vm));
        pop(vm, 2);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"10", "20", "30", "end"}));
    EXPECT_TRUE(failed(resumeGenerator(vm, true, false)));
    getLastError(vm);
    EXPECT_EQ(topString(vm), "resuming dead generator");
    pop(vm, 4);
}

TEST(SquirrelApi, ClosuresFromTheHost) {
    TestEngine e;
    HVM vm = e.vm;
    ASSERT_TRUE(e.run("function adder(v) { return v + this.k; } function bump() { return ++n; } n <- 0;"));
    // bindEnv: `this` of the bound closure is the environment
    pushRootTable(vm);
    pushString(vm, "adder");
    ASSERT_TRUE(succeeded(get(vm, -2)));
    newTable(vm);
    pushString(vm, "k");
    pushInteger(vm, 100);
    newSlot(vm, -3, false);
    Ref env(vm, -1);
    ASSERT_TRUE(succeeded(bindEnv(vm, -2)));
    pushNull(vm);  // ignored `this`
    pushInteger(vm, 1);
    ASSERT_TRUE(succeeded(call(vm, 2, true, true)));
    Integer r = 0;
    getInteger(vm, -1, &r);
    EXPECT_EQ(r, 101);
    Integer nparams = 0, nfree = 0;
    pop(vm, 1);
    ASSERT_TRUE(succeeded(getClosureInfo(vm, -1, &nparams, &nfree)));
    EXPECT_EQ(nparams, 2);
    ASSERT_TRUE(succeeded(getClosureName(vm, -1)));
    EXPECT_EQ(topString(vm), "adder");
    pop(vm, 4);
    // a closure with another root table
    pushRootTable(vm);
    pushString(vm, "bump");
    ASSERT_TRUE(succeeded(get(vm, -2)));
    newTable(vm);
    pushString(vm, "n");
    pushInteger(vm, 41);
    newSlot(vm, -3, false);
    ASSERT_TRUE(succeeded(setClosureRoot(vm, -2)));
    newTable(vm);  // a `this` without n: the lookup falls back to the closure's root
    ASSERT_TRUE(succeeded(call(vm, 1, true, true)));
    getInteger(vm, -1, &r);
    EXPECT_EQ(r, 42);
    pop(vm, 3);
    EXPECT_EQ(e.output("print(n);"), "0");
}

TEST(SquirrelApi, TableIterationAndClassIteration) {
    TestEngine e;
    HVM vm = e.vm;
    ASSERT_TRUE(e.run("tbl <- { a = 1, b = 2, c = 3 }; class K { x = 1; y = 2; function f() {} }"));
    for (const char* name : {"tbl", "K"}) {
        pushRootTable(vm);
        pushString(vm, name);
        ASSERT_TRUE(succeeded(get(vm, -2)));
        pushNull(vm);
        int n = 0;
        while (succeeded(next(vm, -2))) {
            ++n;
            pop(vm, 2);
        }
        pop(vm, 3);
        EXPECT_EQ(n, 3) << name;
    }
}

TEST(SquirrelApi, BlobsFormatAndFiles) {
    TestEngine e;
    HVM vm = e.vm;
    UserPointer data = createBlob(vm, 4);
    ASSERT_NE(data, nullptr);
    std::memcpy(data, "\x01\x02\x03\x04", 4);
    EXPECT_EQ(getBlobSize(vm, -1), 4);
    pushRootTable(vm);
    pushString(vm, "b");
    push(vm, -3);
    newSlot(vm, -3, false);
    pop(vm, 2);
    EXPECT_EQ(e.output("print(b[0] + b[3] + \" \" + typeof b);"), "5 blob");

    pushString(vm, "%s=%04d");
    pushString(vm, "id");
    pushInteger(vm, 42);
    Integer len = 0;
    char* text = nullptr;
    ASSERT_TRUE(succeeded(formatString(vm, -3, &len, &text)));
    EXPECT_EQ(std::string(text, size_t(len)), "id=0042");
    pop(vm, 3);

    const char* path = "squirrel_api_test_script.nut";
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("return 6 * 7;", f);
    std::fclose(f);
    pushRootTable(vm);
    ASSERT_TRUE(succeeded(doFile(vm, path, true, true)));
    Integer r = 0;
    getInteger(vm, -1, &r);
    EXPECT_EQ(r, 42);
    pop(vm, 2);
    std::remove(path);
    EXPECT_TRUE(failed(loadFile(vm, path, false)));
}

}  // namespace

namespace {

int gUserDataReleased = 0;
Integer releaseUserData(UserPointer p, Integer size) {
    if (size == int(sizeof(int)) && *static_cast<int*>(p) == 1234) ++gUserDataReleased;
    return 1;
}

Integer userDataValue(HVM vm) {
    UserPointer p = nullptr;
    TypeTag tag = nullptr;
    if (failed(getUserData(vm, 1, &p, &tag))) return throwError(vm, "not userdata");
    pushInteger(vm, *static_cast<int*>(p));
    return 1;
}

TEST(SquirrelApi, UserDataWithDelegateAndReleaseHook) {
    gUserDataReleased = 0;
    {
        TestEngine e;
        HVM vm = e.vm;
        pushRootTable(vm);
        pushString(vm, "ud");
        UserPointer p = newUserData(vm, sizeof(int));
        *static_cast<int*>(p) = 1234;
        setReleaseHook(vm, -1, releaseUserData);
        newTable(vm);
        pushString(vm, "value");
        newClosure(vm, userDataValue, 0);
        newSlot(vm, -3, false);
        ASSERT_TRUE(succeeded(setDelegate(vm, -2)));
        EXPECT_EQ(getSize(vm, -1), Integer(sizeof(int)));
        newSlot(vm, -3, false);
        pop(vm, 1);
        EXPECT_EQ(e.output("print(typeof ud + \" \" + ud.value());"), "userdata 1234");
        EXPECT_EQ(gUserDataReleased, 0);
        EXPECT_TRUE(e.run("delete ::ud;"));
        EXPECT_EQ(gUserDataReleased, 1);
    }
}

}  // namespace
