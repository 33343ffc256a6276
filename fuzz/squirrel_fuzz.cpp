// Feeds arbitrary text to the Squirrel compiler and runs what compiles, with a step budget
// and a memory budget, so hostile scripts cannot hang or exhaust memory.
#include "Squirrel/StdLib.h"
#include "Squirrel/Squirrel.h"

#include <cstddef>
#include <cstdint>

namespace {

void discard(Squirrel::HVM, const char*, size_t) {}

struct Budget {
    int64_t remaining;
};

int spendStep(Squirrel::HVM, void* user) {
    Budget* b = static_cast<Budget*>(user);
    return --b->remaining < 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Squirrel;
    if (size > 32 * 1024) return 0;
    HVM vm = open(256);
    setPrintFunction(vm, discard, discard);
    // no io or system library: scripts must not touch files or run commands
    pushRootTable(vm);
    registerBlobLib(vm);
    registerMathLib(vm);
    registerStringLib(vm);
    pop(vm, 1);
    setMaxCallDepth(vm, 400);
    setMemoryLimit(vm, getMemoryUsage(vm) + (48u << 20));
    Budget budget{20000};
    setStepHook(vm, spendStep, &budget, 16);
    if (succeeded(compileBuffer(vm, reinterpret_cast<const char*>(data), Integer(size), "fuzz", false))) {
        pushRootTable(vm);
        call(vm, 1, false, false);
    }
    close(vm);
    return 0;
}
