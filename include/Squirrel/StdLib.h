// Standard libraries of the Squirrel engine. Each register* function adds its functions and
// classes to the table on top of the stack (usually the root table).
#pragma once

#include "Squirrel/Squirrel.h"

namespace Squirrel {

Result registerBlobLib(HVM vm);    // blob class, casti2f, castf2i, swap2, swap4, swapfloat
Result registerIOLib(HVM vm);      // file class, stdin/stdout/stderr, dofile, loadfile, ...
Result registerMathLib(HVM vm);    // sqrt, sin, ..., rand, srand, PI, RAND_MAX
Result registerSystemLib(HVM vm);  // getenv, system, clock, time, date, remove, rename
Result registerStringLib(HVM vm);  // format, strip, split, escape, regexp class, ...

// Installs the standard error handlers: uncaught runtime errors print a report with the call
// stack and the locals of every frame, compile errors print the location of the error.
void setStdErrorHandlers(HVM vm);
// Prints the call stack and the locals through the VM's error function.
void printCallStack(HVM vm);

// Loads a script file (text) and pushes the compiled closure.
Result loadFile(HVM vm, const char* path, bool raiseError = true);
// Loads and runs a script file with the value at the top as `this`; pushes the result when
// retval is set.
Result doFile(HVM vm, const char* path, bool retval, bool raiseError = true);

// Formats like the script function format(): arguments start at stack index nformatStringIdx+1.
Result formatString(HVM vm, Integer formatStringIdx, Integer* outLength, char** outText);

// Blob access for bindings.
Result getBlob(HVM vm, Integer idx, UserPointer* data);
Integer getBlobSize(HVM vm, Integer idx);
UserPointer createBlob(HVM vm, Integer size);   // pushes a new blob

}  // namespace Squirrel
