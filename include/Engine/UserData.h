#pragma once
#include "Engine/RefCounted.h"

namespace Tessera3D {

// A per-object hook: a script binding's proxy or a native module's destruction callback.
class IUserData {
public:
    virtual ~IUserData() = default;
    // True when the owner's runtime takes over the end of the object's life (the object is not
    // destroyed now; the runtime destroys it later).
    virtual bool Destruct() { return false; }
};

} // namespace Tessera3D
