// Arbitrary text through the header parser for script constants, then a walk over what it defined.
#include "Engine/DefineHandlers.h"
#include "Engine/MemoryStream.h"

#include <cstdio>

using namespace Tessera3D;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every rejected input logs one line; the log is not what is being tested.
    if (!freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    Strong<CMemoryStream> pStream = MakeStrong<CMemoryStream>(pData, size);
    CDefineHandlers defines;
    defines.Process(pStream.Get(), "fuzz.h");
    volatile uint32_t sink = 0;
    for (const auto& define : defines) sink = sink + define.m_Value + static_cast<uint32_t>(define.m_Name.size());
    (void)defines.Find("X");
    return 0;
}
