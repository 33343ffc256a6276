#include "Multiplayer/GameMessages.h"

using namespace Tessera3D;

bool CGameFileCheckRequest::Write(CBinaryWriter& writer) const {
    if (!writer.WriteUInt32(static_cast<uint32_t>(m_Paths.size()))) return false;
    for (const std::string& path : m_Paths)
        if (!writer.WriteString(path)) return false;
    return true;
}

bool CGameFileCheckRequest::Read(CBinaryReader& reader) {
    uint32_t count = 0;
    if (!reader.ReadUInt32(count)) return false;
    m_Paths.clear();
    for (uint32_t i = 0; i < count; ++i) {
        std::string path;
        if (!reader.ReadString(path, 4096)) return false;
        m_Paths.push_back(std::move(path));
    }
    return true;
}

bool CGameFileCheckAnswer::Write(CBinaryWriter& writer) const {
    if (!writer.WriteUInt32(m_Count)) return false;
    for (const auto& digest : m_Digests)
        for (uint32_t word : digest)
            if (!writer.WriteUInt32(word)) return false;
    return true;
}

bool CGameFileCheckAnswer::Read(CBinaryReader& reader) {
    if (!reader.ReadUInt32(m_Count)) return false;
    m_Digests.clear();
    if (m_Count > MAX_FILES) return true; // refused by its count alone
    for (uint32_t i = 0; i < m_Count; ++i) {
        std::array<uint32_t, 4> digest{};
        for (uint32_t& word : digest)
            if (!reader.ReadUInt32(word)) return false;
        m_Digests.push_back(digest);
    }
    return true;
}
