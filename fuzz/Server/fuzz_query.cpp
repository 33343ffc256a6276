// Arbitrary datagrams through the query protocol's request parser and answer writer.
#include "QueryProtocol.h"

#include "Engine/UnlimitedStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    static const CQuerySnapshot snapshot = [] {
        CQuerySnapshot s;
        s.m_ServerName = "Fuzz";
        s.m_PlayerEntries = {{0, "Ann"}, {7, std::string(300, 'n')}};
        s.m_Rules = {{"Version", "1.7.1"}, {"Long", std::string(300, 'v')}};
        return s;
    }();
    Tessera3D::CUnlimitedStream answer;
    if (WriteQueryAnswer(pData, size, snapshot, answer) && answer.GetSize() < 7) __builtin_trap();
    return 0;
}
