// Arbitrary bytes through the document loader (HBF in both storage modes, or XML text), then a walk
// over everything the resulting tree offers.
#include "Engine/MemoryStream.h"
#include "Engine/TesseraHBF.h"

#include <cstdio>
#include <cstring>
#include <memory>

using namespace Tessera3D;

namespace {

size_t g_Sink = 0;

void Walk(const CChunk* pChunk) {
    g_Sink += pChunk->GetName().size() + pChunk->GetType();
    if (const auto* pData = dynamic_cast<const CDataChunk*>(pChunk)) g_Sink += pData->GetDataSize();
    if (const auto* pElement = dynamic_cast<const CElementChunk*>(pChunk)) {
        g_Sink += strlen(pElement->GetText());
        for (const auto& entry : pElement->GetAttributes()) {
            size_t length = 0;
            if (pElement->Attribute(entry.first.c_str(), &length)) g_Sink += length;
        }
        for (const CElementChunk* pNext = pElement->GetNextSameNameElement(); pNext; pNext = pNext->GetNextSameNameElement())
            ++g_Sink;
        if (CElementChunk* pFirst = pElement->FindElement(pElement->GetName().c_str())) g_Sink += pFirst->GetIndex();
    }
    for (size_t i = 0; i < pChunk->GetChildCount(); ++i) {
        const CChunk* pChild = pChunk->GetChild(i);
        if (pChild->GetParent() != pChunk || pChild->GetIndex() != i) __builtin_trap();
        Walk(pChild);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Element data that fails to read logs warnings on standard output; keep them out of the way.
    if (!freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Strong<CMemoryStream> stream = MakeStrong<CMemoryStream>(static_cast<const void*>(data), size);
    std::unique_ptr<CElementChunk> top(CElementChunk::Load(stream.Get()));
    if (!top) return 0;
    if (top->GetParent() || top->GetIndex() != 0) __builtin_trap();
    Walk(top.get());
    for (CElementChunk* pElement = top->FindElement(); pElement; pElement = pElement->GetNextElement()) ++g_Sink;
    return 0;
}
