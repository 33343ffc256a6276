// Arbitrary bytes read as an array and as a map of script values (with an element registry as the
// lookup context), then written back: a value that writes must announce its exact size, and what it
// writes must read back into a value that writes the same bytes again.
#include "Engine/ArgumentArray.h"
#include "Engine/ArgumentMap.h"
#include "Engine/MemoryStream.h"
#include "Engine/NetObjectRegistry.h"
#include "Engine/UnlimitedStream.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Tessera3D;

namespace {

struct FuzzElement : CBaseObject, INetIdentified {
    explicit FuzzElement(int32_t id) : m_Id(id) {}
    int32_t GetNetworkId() const override { return m_Id; }
    int32_t m_Id;
};

// Knows the even ids below 64.
struct FuzzRegistry : INetObjectRegistry {
    FuzzRegistry() {
        for (int32_t id = 0; id < 64; id += 2) m_Elements[id / 2] = MakeStrong<FuzzElement>(id);
    }
    CBaseObject* FindNetObject(int32_t id) override {
        return id >= 0 && id < 64 && id % 2 == 0 ? m_Elements[id / 2].Get() : nullptr;
    }
    Strong<FuzzElement> m_Elements[32];
};

Strong<CArgument> MakeContainer(bool map, INetObjectRegistry* pRegistry) {
    Strong<CArgument> value = Strong<CArgument>::Adopt(map ? static_cast<CArgument*>(new CArgumentMap())
                                                           : static_cast<CArgument*>(new CArgumentArray()));
    value->SetLookupContext(pRegistry);
    return value;
}

// Writes the value; when it writes, checks the announced size and returns true.
bool WriteChecked(const CArgument& value, CUnlimitedStream& out) {
    if (!value.Write(&out)) return false;
    size_t size = 0;
    if (!value.GetSize(size) || size != out.GetSize()) {
        fprintf(stderr, "size %zu announced, %zu written\n", size, out.GetSize());
        abort();
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Failed reads log warnings on standard output; keep them out of the fuzzer's way.
    if (!freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzRegistry registry;
    for (bool map : {false, true}) {
        Strong<CMemoryStream> in = MakeStrong<CMemoryStream>(static_cast<const void*>(data), size);
        Strong<CArgument> value = MakeContainer(map, &registry);
        value->Read(in.Get()); // a failed read keeps what it read; that must write consistently too

        Strong<CUnlimitedStream> first = MakeStrong<CUnlimitedStream>();
        if (!WriteChecked(*value, *first)) continue;

        Strong<CMemoryStream> again = MakeStrong<CMemoryStream>(static_cast<const void*>(first->GetData()), first->GetSize());
        Strong<CArgument> back = MakeContainer(map, &registry);
        if (!back->Read(again.Get()) || again->Tell() != static_cast<int64_t>(first->GetSize())) abort();
        Strong<CUnlimitedStream> second = MakeStrong<CUnlimitedStream>();
        if (!WriteChecked(*back, *second) || second->GetSize() != first->GetSize() ||
            memcmp(second->GetData(), first->GetData(), first->GetSize()) != 0)
            abort();

        // A clone writes the same bytes.
        Strong<CArgument> copy = Strong<CArgument>::Adopt(value->Clone());
        if (copy) {
            Strong<CUnlimitedStream> third = MakeStrong<CUnlimitedStream>();
            if (!WriteChecked(*copy, *third) || third->GetSize() != first->GetSize() ||
                memcmp(third->GetData(), first->GetData(), first->GetSize()) != 0)
                abort();
        }
    }
    return 0;
}
