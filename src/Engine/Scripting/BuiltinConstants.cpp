// The constants every script environment receives from the host.
#include "KeyConstants.h"

#include "Engine/DefineHandlers.h"
#include "Engine/Log.h"
#include "Engine/Scripting.h"

namespace Tessera3D {

void DefineBuiltinConstants(CDefineHandlers* pDefines) {
    if (!pDefines) return;
    CDefineHandlers& defines = *pDefines;

    defines.Define("KEYSTATE_UP", 0);
    defines.Define("KEYSTATE_DOWN", 1);
    defines.Define("KEYSTATE_BOTH", 2);

    for (size_t i = 0; i < g_ScanCodeCount; ++i) defines.Define(g_rgScanCodes[i].m_Name, g_rgScanCodes[i].m_Value);
    defines.Define("SDL_NUM_SCANCODES", 512);
    for (size_t i = 0; i < g_KeyCodeCount; ++i) defines.Define(g_rgKeyCodes[i].m_Name, g_rgKeyCodes[i].m_Value);

    defines.Define("KMOD_NONE", 0x0000);
    defines.Define("KMOD_LSHIFT", 0x0001);
    defines.Define("KMOD_RSHIFT", 0x0002);
    defines.Define("KMOD_LCTRL", 0x0040);
    defines.Define("KMOD_RCTRL", 0x0080);
    defines.Define("KMOD_LALT", 0x0100);
    defines.Define("KMOD_RALT", 0x0200);
    defines.Define("KMOD_LGUI", 0x0400);
    defines.Define("KMOD_RGUI", 0x0800);
    defines.Define("KMOD_NUM", 0x1000);
    defines.Define("KMOD_CAPS", 0x2000);
    defines.Define("KMOD_MODE", 0x4000);
    defines.Define("KMOD_RESERVED", 0x8000);
    defines.Define("KMOD_CTRL", 0x00C0);
    defines.Define("KMOD_SHIFT", 0x0003);
    defines.Define("KMOD_ALT", 0x0300);
    defines.Define("KMOD_GUI", 0x0C00);

    defines.Define("SEEK_SET", 0);
    defines.Define("SEEK_CUR", 1);
    defines.Define("SEEK_END", 2);

    defines.Define("LOGTYPE_NONE", int32_t(LOGTYPE_NONE));
    defines.Define("LOGTYPE_VERBOSE", int32_t(LOGTYPE_VERBOSE));
    defines.Define("LOGTYPE_DEBUG", int32_t(LOGTYPE_DEBUG));
    defines.Define("LOGTYPE_INFO", int32_t(LOGTYPE_INFO));
    defines.Define("LOGTYPE_WARN", int32_t(LOGTYPE_WARN));
    defines.Define("LOGTYPE_ERROR", int32_t(LOGTYPE_ERROR));
    defines.Define("LOGTYPE_CRITICAL", int32_t(LOGTYPE_CRITICAL));

    // 32-bit ARGB, the values toColour produces.
    defines.Define("COLOUR_TRANSPARENT", 0x00000000u);
    defines.Define("COLOUR_WHITE", 0xFFFFFFFFu);
    defines.Define("COLOUR_BLACK", 0xFF000000u);
    defines.Define("COLOUR_RED", 0xFFFF0000u);
    defines.Define("COLOUR_LIME", 0xFF00FF00u);
    defines.Define("COLOUR_BLUE", 0xFF0000FFu);
    defines.Define("COLOUR_YELLOW", 0xFFFFFF00u);
    defines.Define("COLOUR_AQUA", 0xFF00FFFFu);
    defines.Define("COLOUR_FUCHSIA", 0xFFFF00FFu);
    defines.Define("COLOUR_SKYBLUE", 0xFF66CCFFu);
    defines.Define("COLOUR_SILVER", 0xFFC3C3C3u);
    defines.Define("COLOUR_GREEN", 0xFF007F00u);
    defines.Define("COLOUR_ORANGE", 0xFFFF7F00u);
}

} // namespace Tessera3D
