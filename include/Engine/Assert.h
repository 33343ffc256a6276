#pragma once
// Internal consistency checks. When g_bAsserts is set a failed check is logged as an error;
// execution always continues on the check's fallback path.

namespace Tessera3D {

extern bool g_bAsserts;
void ReportAssertion(const char* file, const char* function, int line, const char* expression);

} // namespace Tessera3D

#define TESSERA_ASSERT(expression)                                                                       \
    ((expression) ? true                                                                                 \
                  : (::Tessera3D::ReportAssertion(__FILE__, __PRETTY_FUNCTION__, __LINE__, #expression), \
                     false))
