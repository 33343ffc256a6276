#pragma once
// A callable object held by function values: script functions of the bindings and native callbacks.
#include "Engine/BaseObject.h"

namespace Tessera3D {

class CArgumentArray;
class CReturnValue;

class CFunction : public CBaseObject {
public:
    // Calls the function; its results, if any, go into pResult (which may be null). False when the
    // function reports failure.
    virtual bool Call(const CArgumentArray& arguments, CReturnValue* pResult) = 0;
};

} // namespace Tessera3D
