#pragma once
// The parts of the host's own API, each registered by its own file in the host's order.
#include "Engine/Log.h"
#include "Engine/NativeState.h"
#include "Engine/ReflectedNamespace.h"
#include "Engine/TextReader.h"

#include <string>

namespace Tessera3D {

class CScripting;

// Namespace "reflection": clone, move, tostring, createFunction, call; returns the class "Function".
ReflectedClass* RegisterReflectionFunctions(ReflectedNamespace* pReflection);
// toColour, collectAllGarbage, inPoly.
void RegisterGlobalFunctions(ReflectedNamespace* pGlobal);
// Namespaces "sdl" and "platform".
void RegisterPlatformNamespaces(ReflectedNamespace* pGlobal);
void RegisterStreamClass(ReflectedNamespace* pGlobal);
ReflectedClass* RegisterTextReaderClass(ReflectedNamespace* pGlobal);
void RegisterMatrixClass(ReflectedNamespace* pGlobal);
void RegisterVectorClasses(ReflectedNamespace* pGlobal);

// The next line of the reader (a line of any length), or false at the end of the text.
bool ReadTextLine(CTextReader* pReader, std::string& line);

// Passes a failed inner call's error text on as this call's error.
inline bool PassError(CNativeState* pState) {
    std::string text = GetLastError();
    return pState->Error("%s", text.c_str());
}

} // namespace Tessera3D
