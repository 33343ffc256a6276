#include "VehicleColours.h"

#include "Engine/Context.h"
#include "Engine/FileSystem.h"
#include "Engine/Log.h"
#include "Engine/TextReader.h"

#include <cctype>
#include <climits>
#include <cstdlib>

using namespace Tessera3D;

namespace {

// Reads up to count decimal integers separated by white space, as "%d %d ..." would; returns how
// many were read. Numbers out of the int range saturate instead of overflowing.
int ScanIntegers(const char* pText, int32_t* pValues, int count) {
    int found = 0;
    const char* p = pText;
    while (found < count) {
        while (*p && isspace(static_cast<unsigned char>(*p))) ++p;
        char* pEnd = nullptr;
        const long value = strtol(p, &pEnd, 10);
        if (pEnd == p) break;
        long clamped = value;
        if (clamped > INT32_MAX) clamped = INT32_MAX;
        if (clamped < INT32_MIN) clamped = INT32_MIN;
        pValues[found++] = static_cast<int32_t>(clamped);
        p = pEnd;
    }
    return found;
}

} // namespace

const char* CVehicleColours::GetPath(int32_t game) {
    switch (game) {
    case 1: return "/vehiclecolours.conf";
    case 2: return "/vehiclecolours_vc.conf";
    case 3: return "/vehiclecolours_sa.conf";
    case 5: return "/vehiclecolours_iv.conf";
    default: return nullptr;
    }
}

bool CVehicleColours::LoadForGame(int32_t game) {
    const char* path = GetPath(game);
    Context* pContext = GGlobal.m_pContext;
    if (!path || !pContext || !pContext->GetFileSystem()) return false;
    Strong<Stream> pFile = pContext->GetFileSystem()->Open(path, false);
    if (!pFile) return false;
    Load(pFile.Get());
    return true;
}

void CVehicleColours::Load(Stream* pStream) {
    CTextReader reader(pStream);
    char line[LINE_BUFFER_SIZE];
    for (int number = 1; reader.ReadLine(line, sizeof(line)); ++number) {
        if (line[0] == '\0' || line[0] == '#' || line[0] == '\r' || line[0] == '\n') continue;
        int32_t values[5] = {0, 0, 0, 0, 0};
        if (ScanIntegers(line, values, 5) < 3) {
            LogWarn("vehiclecolours.conf[%d] - bad syntax '%s'", number, line);
            continue;
        }
        CVehicleColourDefinition definition;
        for (int i = 0; i < 4; ++i) definition.m_Colours[i] = values[i + 1] & 0xFF;
        FindDefinitions(static_cast<uint32_t>(values[0])).push_back(definition);
    }
}
