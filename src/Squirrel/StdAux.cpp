// Standard error handlers and script file loading.
#include "BaseLib.h"
#include "Squirrel/StdLib.h"

#include <cinttypes>
#include <cstdio>

namespace Squirrel {

void printCallStack(HVM vm) {
    PrintFunction pf = vm->ss->errorFn;
    if (!pf) return;
    errorf(vm, "\nCALLSTACK\n");
    StackInfo si;
    for (Integer level = 1; succeeded(stackInfos(vm, level, &si)); ++level)
        errorf(vm, "*FUNCTION [%s()] %s line [%d]\n", si.function, si.source, int(si.line));
    errorf(vm, "\nLOCALS\n");
    for (Integer level = 0; level < 10; ++level) {
        const char* name;
        for (Integer seq = 0; (name = getLocal(vm, level, seq)) != nullptr; ++seq) {
            const Value& v = vm->topValue();
            switch (v.type) {
            case ObjectType::Null: errorf(vm, "[%s] NULL\n", name); break;
            // the reference prints integers with %d
            case ObjectType::Integer: errorf(vm, "[%s] %d\n", name, int(v.i)); break;
            case ObjectType::Float: errorf(vm, "[%s] %.14g\n", name, double(v.f)); break;
            case ObjectType::UserPointer: errorf(vm, "[%s] USERPOINTER\n", name); break;
            case ObjectType::String: errorf(vm, "[%s] \"%s\"\n", name, v.s->data); break;
            case ObjectType::Table: errorf(vm, "[%s] TABLE\n", name); break;
            case ObjectType::Array: errorf(vm, "[%s] ARRAY\n", name); break;
            case ObjectType::Closure: errorf(vm, "[%s] CLOSURE\n", name); break;
            case ObjectType::NativeClosure: errorf(vm, "[%s] NATIVECLOSURE\n", name); break;
            case ObjectType::Generator: errorf(vm, "[%s] GENERATOR\n", name); break;
            case ObjectType::UserData: errorf(vm, "[%s] USERDATA\n", name); break;
            case ObjectType::Thread: errorf(vm, "[%s] THREAD\n", name); break;
            case ObjectType::Class: errorf(vm, "[%s] CLASS\n", name); break;
            case ObjectType::Instance: errorf(vm, "[%s] INSTANCE\n", name); break;
            case ObjectType::WeakRef: errorf(vm, "[%s] WEAKREF\n", name); break;
            case ObjectType::Bool: errorf(vm, "[%s] %s\n", name, v.b ? "true" : "false"); break;
            default: break;
            }
            pop(vm, 1);
        }
    }
}

static Integer stdErrorHandler(HVM vm) {
    if (!vm->ss->errorFn) return 0;
    if (getTop(vm) >= 1) {
        const char* msg = nullptr;
        if (getTop(vm) >= 2 && succeeded(getString(vm, 2, &msg)))
            errorf(vm, "\nAN ERROR HAS OCCURRED [%s]\n", msg);
        else
            errorf(vm, "\nAN ERROR HAS OCCURRED [unknown]\n");
        printCallStack(vm);
    }
    return 0;
}

static void stdCompileError(HVM vm, const char* msg, const char* source, Integer line, Integer column) {
    errorf(vm, "%s line = (%d) column = (%d) : error %s\n", source, int(line), int(column), msg);
}

void setStdErrorHandlers(HVM vm) {
    newClosure(vm, stdErrorHandler, 0);
    setErrorHandler(vm);
    setCompilerErrorHandler(vm, stdCompileError);
}

Result loadFile(HVM vm, const char* path, bool raiseError) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return throwError(vm, "cannot open the file");
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    std::fclose(f);
    // skip a UTF-8 byte order mark
    size_t start = 0;
    if (data.size() >= 3 && (unsigned char)data[0] == 0xEF && (unsigned char)data[1] == 0xBB &&
        (unsigned char)data[2] == 0xBF)
        start = 3;
    if (data.size() - start >= 2 && (unsigned char)data[start] == 0xFA && (unsigned char)data[start + 1] == 0xFA)
        return throwError(vm, "bytecode files are not supported");
    return compileBuffer(vm, data.data() + start, Integer(data.size() - start), path, raiseError);
}

Result doFile(HVM vm, const char* path, bool retval, bool raiseError) {
    if (failed(loadFile(vm, path, raiseError))) return Error;
    push(vm, -2);
    if (failed(call(vm, 1, retval, raiseError))) {
        remove(vm, retval ? -1 : -1);
        return Error;
    }
    if (retval) {
        // leave only the result: remove the closure below it
        remove(vm, -2);
    } else {
        pop(vm, 1);
    }
    return Ok;
}

}  // namespace Squirrel
