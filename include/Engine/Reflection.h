#pragma once
// Generic operations over the reflected tree: class membership, construction of script objects,
// turning native objects into script values, and forwarding calls to CFunction objects.
#include "Engine/Argument.h"
#include "Engine/ReflectedClass.h"

namespace Tessera3D {

class CScripting;
class CNativeState;

namespace Reflection {

// True when the object's reflected class is pWanted or derives from it; an object without a class
// belongs to no class. A null pWanted accepts any object.
bool IsInstanceOf(const CBaseObject* pObject, const ReflectedClass* pWanted);
// The object of an element or instance value when it is an instance of pWanted, else null (no
// additional reference).
CBaseObject* ToObject(const CArgument* pValue, const ReflectedClass* pWanted);

// Calls the class's constructor without arguments and 'this'; returns the new object with one
// reference owned by the caller, or null with the error text set ("Class is not constructable",
// "Constructor didn't return anything", "Constructor didn't return object", "Constructor returned null",
// or the constructor's own text).
CBaseObject* Construct(CScripting* pScripting, ReflectedClass* pClass);

// The script value for a native object (one reference, owned by the caller): a Matrix4x4, Vec3 or Vec2
// instance becomes a matrix or vector value holding a copy; any other object its own CreateArgument()
// value; a null object a null value. Bindings use it for objects passed to natives.
CArgument* ToArgument(CBaseObject* pObject, CScripting* pScripting);

// The script object for a vector or matrix value (one reference, owned by the caller): a new Vec2, Vec3
// or Matrix4x4 instance made by the class's constructor and holding the value's components; null for
// any other kind or when the host lacks the class (the error text then says why).
CBaseObject* CreateValueObject(CScripting* pScripting, const CArgument* pValue);

// The generic forwarding callback for functions that wrap a CFunction (pUser is the CFunction): clones
// the arguments, calls the function and returns a clone of its first result; always succeeds.
bool ForwardToFunction(CNativeState* pState, int argumentCount, void* pUser);

} // namespace Reflection
} // namespace Tessera3D
