#include "Engine/Assert.h"
#include "Engine/Log.h"

#include <cstdio>
#include <cstring>

namespace Tessera3D {

bool g_bAsserts = false;
static char g_szError[1024];

void SetError(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    size_t length = strnlen(text, sizeof(g_szError) - 1);
    memcpy(g_szError, text, length);
    g_szError[length] = '\0';
}

const char* GetLastError() { return g_szError; }

void ReportAssertion(const char* file, const char* function, int line, const char* expression) {
    if (!g_bAsserts) return;
    LogError("Assertion failed!\n\nFile: %s\nFunction: %s\nLine: %d\n\nExpression: %s", file, function, line, expression);
}

} // namespace Tessera3D
