#pragma once
// What script values need from the replication layer, without depending on it: turning an element id
// read from a stream back into the element, and asking an element for its current id.
#include <cstdint>

namespace Tessera3D {

class CBaseObject;

// The lookup context of script values read from streams (the element manager).
class INetObjectRegistry {
public:
    // The registered element with this id, or null.
    virtual CBaseObject* FindNetObject(int32_t id) = 0;

protected:
    ~INetObjectRegistry() = default;
};

// Implemented by elements next to CBaseObject.
class INetIdentified {
public:
    // The current id; -1 once the element is no longer registered.
    virtual int32_t GetNetworkId() const = 0;

protected:
    ~INetIdentified() = default;
};

} // namespace Tessera3D
