#pragma once
// Shared by the container readers and writers: the nesting bound and how a value is made from a type
// byte read from a stream.
#include "Engine/Argument.h"

namespace Tessera3D {

// Counts how deeply containers are being read, written or measured on this thread; Entered() is
// false once the bound is passed.
class CArgumentNestingGuard {
public:
    CArgumentNestingGuard() { ++s_Depth; }
    ~CArgumentNestingGuard() { --s_Depth; }
    CArgumentNestingGuard(const CArgumentNestingGuard&) = delete;
    CArgumentNestingGuard& operator=(const CArgumentNestingGuard&) = delete;

    bool Entered() const { return s_Depth <= MAX_ARGUMENT_NESTING; }

private:
    static thread_local unsigned s_Depth;
};

// A value for a type byte of a container: an element value holding no element for id 6 (elements
// cannot come from the bare factory), the factory's value otherwise; null for an id that cannot be read.
CArgument* CreateArgumentForRead(uint8_t type);

} // namespace Tessera3D
