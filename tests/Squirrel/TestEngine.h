// A VM with the standard libraries whose printed output is captured, for the unit tests.
#pragma once

#include "Squirrel/StdLib.h"
#include "Squirrel/Squirrel.h"

#include <string>

namespace SquirrelTest {

class TestEngine {
public:
    TestEngine() {
        using namespace Squirrel;
        vm = open(1024);
        setSharedForeignPtr(vm, this);
        setPrintFunction(vm, &TestEngine::onPrint, &TestEngine::onError);
        pushRootTable(vm);
        registerBlobLib(vm);
        registerIOLib(vm);
        registerSystemLib(vm);
        registerMathLib(vm);
        registerStringLib(vm);
        pop(vm, 1);
    }
    ~TestEngine() { Squirrel::close(vm); }
    TestEngine(const TestEngine&) = delete;
    TestEngine& operator=(const TestEngine&) = delete;

    // Compiles and runs a script with the root table as `this`. Returns false on a compile or
    // runtime error; the message is then in lastError.
    bool run(const std::string& source, const char* name = "test") {
        using namespace Squirrel;
        Integer top = getTop(vm);
        bool ok = false;
        if (succeeded(compileBuffer(vm, source.c_str(), Integer(source.size()), name, true))) {
            pushRootTable(vm);
            ok = succeeded(call(vm, 1, false, true));
        }
        if (!ok) {
            getLastError(vm);
            const char* s = nullptr;
            lastError = succeeded(getString(vm, -1, &s)) ? s : "<non-string error>";
        }
        setTop(vm, top);
        return ok;
    }

    // Runs a script and returns what it printed, or "error: <message>".
    std::string output(const std::string& source) {
        out.clear();
        if (!run(source)) return out + "error: " + lastError;
        return out;
    }

    Squirrel::HVM vm = nullptr;
    std::string out;
    std::string err;
    std::string lastError;

private:
    static TestEngine* self(Squirrel::HVM vm) {
        return static_cast<TestEngine*>(Squirrel::getSharedForeignPtr(vm));
    }
    static void onPrint(Squirrel::HVM vm, const char* text, size_t len) { self(vm)->out.append(text, len); }
    static void onError(Squirrel::HVM vm, const char* text, size_t len) { self(vm)->err.append(text, len); }
};

}  // namespace SquirrelTest
