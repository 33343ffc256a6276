// The host's global functions (toColour, collectAllGarbage, inPoly) and the namespaces "sdl" and
// "platform".
#include "BuiltinAPI.h"

#include "Engine/Clock.h"
#include "Engine/Scripting.h"

#include <algorithm>
#include <cmath>

namespace Tessera3D {

static bool ToColour(CNativeState* pState, int argumentCount, void* pUser) {
    uint8_t red, green, blue, alpha = 255;
    if (!pState->CheckNumber(0, red) || !pState->CheckNumber(1, green) || !pState->CheckNumber(2, blue)) return false;
    if (argumentCount > 3 && !pState->CheckNumber(3, alpha)) return false;
    const uint32_t colour = (uint32_t(alpha) << 24) | (uint32_t(red) << 16) | (uint32_t(green) << 8) | blue;
    pState->m_RVal.AddNumber(static_cast<int32_t>(colour));
    return true;
}

static bool CollectAllGarbage(CNativeState* pState, int argumentCount, void* pUser) {
    if (pState->m_pScripting) pState->m_pScripting->CollectGarbage();
    return true;
}

// Polygons of more vertices are refused, so a call's work stays bounded.
constexpr int MAX_POLYGON_VERTICES = 128;

static bool InPoly(CNativeState* pState, int argumentCount, void* pUser) {
    CVector2D point;
    if (!pState->CheckVector2D(0, point)) return false;
    if (argumentCount > MAX_POLYGON_VERTICES + 1) return pState->Error("Too many points");
    const int count = argumentCount - 1;
    CVector2D vertices[MAX_POLYGON_VERTICES];
    for (int i = 0; i < count; ++i) {
        if (!pState->CheckVector2D(i + 1, vertices[i])) return false;
    }
    int crossings = 0;
    for (int j = 0; j < count; ++j) {
        const CVector2D& a = vertices[j];
        const CVector2D& b = vertices[(j + 1) % count];
        if (point.x > std::min(a.x, b.x) && point.x <= std::max(a.x, b.x) && (point.y < a.y || point.y <= b.y)) {
            // A vertical edge gets a slope steep enough to count as one.
            const float slope = std::fabs(b.x - a.x) < 1e-6f ? 4294967296.0f : (b.y - a.y) / (b.x - a.x);
            if (point.y <= std::fmaf(point.x - a.x, slope, a.y)) ++crossings;
        }
    }
    pState->m_RVal.AddBoolean((crossings & 1) != 0);
    return true;
}

static bool GetPlatformName(CNativeState* pState, int argumentCount, void* pUser) {
    pState->m_RVal.AddString("Linux");
    return true;
}

static bool GetZero(CNativeState* pState, int argumentCount, void* pUser) {
    pState->m_RVal.AddNumber(int32_t(0));
    return true;
}

// Milliseconds since the tick counter started, wrapping as an int32 after about 24.8 days.
static bool GetTicks(CNativeState* pState, int argumentCount, void* pUser) {
    const uint64_t frequency = OS::GetPerformanceFrequency();
    int32_t ticks = 0;
    if (frequency != 0) {
        const uint64_t elapsed = OS::GetPerformanceCounter() - OS::GetStartTicks();
        // Split so that the multiplication cannot overflow for any uptime.
        const uint64_t milliseconds = elapsed / frequency * 1000 + elapsed % frequency * 1000 / frequency;
        ticks = static_cast<int32_t>(static_cast<uint32_t>(milliseconds));
    }
    pState->m_RVal.AddNumber(ticks);
    return true;
}

void RegisterGlobalFunctions(ReflectedNamespace* pGlobal) {
    pGlobal->RegisterFunction("toColour", "iii|i", ToColour, nullptr);
    pGlobal->RegisterFunction("collectAllGarbage", "", CollectAllGarbage, nullptr);
    pGlobal->RegisterFunction("inPoly", "z*", InPoly, nullptr);
}

void RegisterPlatformNamespaces(ReflectedNamespace* pGlobal) {
    ReflectedNamespace* pSDL = pGlobal->AddNamespace("sdl");
    pSDL->AddProperty(nullptr, "platform", ARGUMENT_STRING, GetPlatformName, nullptr);
    pSDL->AddProperty(nullptr, "ticks", ARGUMENT_INTEGER, GetTicks, nullptr);
    pSDL->RegisterFunction("getModState", "", GetZero, nullptr);

    ReflectedNamespace* pPlatform = pGlobal->AddNamespace("platform");
    pPlatform->AddProperty(nullptr, "name", ARGUMENT_STRING, GetPlatformName, nullptr);
    pPlatform->AddProperty(nullptr, "modState", ARGUMENT_INTEGER, GetZero, nullptr);
    pPlatform->AddProperty(nullptr, "ticks", ARGUMENT_INTEGER, GetTicks, nullptr);
}

} // namespace Tessera3D
