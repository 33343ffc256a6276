// Helpers shared by the native libraries.
#pragma once

#include "VM.h"

#include <cstdarg>
#include <initializer_list>

namespace Squirrel {

struct NativeReg {
    const char* name;
    NativeFunction fn;
    Integer nparams;
    const char* mask;
};

// Sets the error message and returns the error code, for `return nativeError(vm, ...)`.
Integer nativeError(VM* vm, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void registerFunctions(VM* vm, Table* t, const NativeReg* regs);
Integer stackInfosTable(VM* vm, Integer level, Value& out);
bool compileToClosure(VM* vm, const char* src, size_t len, const char* name, bool raiseError, Value& out);

}  // namespace Squirrel
