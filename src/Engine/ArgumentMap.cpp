#include "Engine/ArgumentMap.h"

#include "ArgumentNesting.h"
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/Log.h"

#include <algorithm>

namespace Tessera3D {

namespace {

// A count read from a stream reserves no more than this up front; the rest grows as entries arrive.
constexpr size_t MAX_READ_RESERVE = 256;

} // namespace

CArgumentMap::CArgumentMap(size_t reserve) : CArgument(ARGUMENT_MAP) { Reserve(reserve); }

void CArgumentMap::Reserve(size_t count) {
    m_Entries.reserve(count);
    m_Index.reserve(count);
}

CArgument* CArgumentMap::Get(std::string_view key) const {
    auto it = m_Index.find(std::string(key));
    return it == m_Index.end() ? nullptr : m_Entries[it->second].second.Get();
}

void CArgumentMap::Set(std::string_view key, CArgument* pValue) {
    if (!pValue) return;
    std::string name(key);
    auto it = m_Index.find(name);
    if (it == m_Index.end()) {
        m_Index.emplace(name, m_Entries.size());
        m_Entries.emplace_back(std::move(name), Strong<CArgument>::Adopt(pValue));
        return;
    }
    Strong<CArgument>& slot = m_Entries[it->second].second;
    if (slot.Get() == pValue) return;
    slot = Strong<CArgument>::Adopt(pValue);
}

bool CArgumentMap::Remove(std::string_view key) {
    auto it = m_Index.find(std::string(key));
    if (it == m_Index.end()) return false;
    const size_t position = it->second;
    m_Index.erase(it);
    m_Entries.erase(m_Entries.begin() + static_cast<ptrdiff_t>(position));
    for (auto& indexEntry : m_Index)
        if (indexEntry.second > position) --indexEntry.second;
    return true;
}

void CArgumentMap::Clear() {
    m_Entries.clear();
    m_Index.clear();
}

bool CArgumentMap::Read(Stream* pStream) {
    CArgumentNestingGuard guard;
    if (!guard.Entered()) return false;
    CBinaryReader reader(pStream);
    uint32_t count;
    if (!reader.ReadCompressedUInt32(count)) return false;
    Clear();
    Reserve(std::min<size_t>(count, MAX_READ_RESERVE));
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t type;
        std::string key;
        if (!reader.ReadUInt8(type) || !reader.ReadString(key)) return false;
        Strong<CArgument> pValue = Strong<CArgument>::Adopt(CreateArgumentForRead(type));
        if (!pValue) {
            LogWarn("CArgument::Create(%s) - Failed", GetArgumentTypeEnumName(type));
            return false;
        }
        pValue->SetLookupContext(GetLookupContext());
        if (!pValue->Read(pStream)) return false;
        Set(key, pValue.Detach());
    }
    return true;
}

bool CArgumentMap::GetSize(size_t& size) const {
    CArgumentNestingGuard guard;
    if (!guard.Entered() || m_Entries.size() > UINT32_MAX) return false;
    size_t total = CBinaryWriter::GetCompressedUInt32Size(static_cast<uint32_t>(m_Entries.size()));
    for (const Entry& entry : m_Entries) {
        size_t valueSize = 0;
        total += CBinaryWriter::GetStringSize(entry.first.size()) + 1 + (entry.second->GetSize(valueSize) ? valueSize : 0);
    }
    size = total;
    return true;
}

bool CArgumentMap::Write(Stream* pStream) const {
    CArgumentNestingGuard guard;
    if (!guard.Entered() || m_Entries.size() > UINT32_MAX) return false;
    CBinaryWriter writer(pStream);
    if (!writer.WriteCompressedUInt32(static_cast<uint32_t>(m_Entries.size()))) return false;
    for (const Entry& entry : m_Entries) {
        if (!writer.WriteUInt8(entry.second->GetType()) || !writer.WriteString(entry.first) ||
            !entry.second->Write(pStream))
            return false;
    }
    return true;
}

CArgumentMap* CArgumentMap::Clone() const {
    Strong<CArgumentMap> pClone = Strong<CArgumentMap>::Adopt(new CArgumentMap(m_Entries.size()));
    pClone->SetLookupContext(GetLookupContext());
    for (const Entry& entry : m_Entries) {
        CArgument* pCopy = entry.second->Clone();
        if (!pCopy) return nullptr;
        pCopy->SetLookupContext(GetLookupContext());
        pClone->Set(entry.first, pCopy);
    }
    return pClone.Detach();
}

} // namespace Tessera3D
