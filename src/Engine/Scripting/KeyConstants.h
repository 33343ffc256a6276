#pragma once
// The SDL 2 scan codes (SDL_SCANCODE_UNKNOWN to SDL_SCANCODE_AUDIOFASTFORWARD) and key codes
// (SDLK_UNKNOWN to SDLK_SLEEP), in SDL's order.
#include <cstddef>
#include <cstdint>

namespace Tessera3D {

struct tNamedKeyConstant {
    const char* m_Name;
    int32_t m_Value;
};

extern const tNamedKeyConstant g_rgScanCodes[];
extern const size_t g_ScanCodeCount;
extern const tNamedKeyConstant g_rgKeyCodes[];
extern const size_t g_KeyCodeCount;

} // namespace Tessera3D
