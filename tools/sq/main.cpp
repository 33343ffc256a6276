// Command-line interpreter: runs a script with the standard libraries, like the reference sq.
#include "Squirrel/StdLib.h"
#include "Squirrel/Squirrel.h"

#include <cstdio>
#include <cstring>

namespace {

void printOut(Squirrel::HVM, const char* text, size_t len) { std::fwrite(text, 1, len, stdout); }
void printErr(Squirrel::HVM, const char* text, size_t len) { std::fwrite(text, 1, len, stderr); }

void usage() {
    std::fprintf(stderr, "usage: sq <script.nut> [args...]\n");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace Squirrel;
    if (argc < 2) {
        usage();
        return 1;
    }
    HVM vm = open(1024);
    setPrintFunction(vm, printOut, printErr);
    pushRootTable(vm);
    registerBlobLib(vm);
    registerIOLib(vm);
    registerSystemLib(vm);
    registerMathLib(vm);
    registerStringLib(vm);
    pop(vm, 1);
    setStdErrorHandlers(vm);

    int exitCode = 0;
    const char* path = argv[1];
    if (succeeded(loadFile(vm, path, true))) {
        pushRootTable(vm);
        for (int i = 2; i < argc; ++i) pushString(vm, argv[i]);
        if (succeeded(call(vm, argc - 1, true, true))) {
            if (getType(vm, -1) == ObjectType::Integer) {
                Integer r = 0;
                getInteger(vm, -1, &r);
                exitCode = int(r);
            }
        }
    } else {
        const char* err = nullptr;
        getLastError(vm);
        if (succeeded(getString(vm, -1, &err))) {
            std::printf("Error [%s]\n", err);
            exitCode = 254;
        }
    }
    std::fflush(stdout);
    close(vm);
    return exitCode;
}
