#include "TestClient/ClientMessages.h"

#include "Engine/Hash.h"

using namespace Tessera3D;

CFileDigest MakeFileDigest(const uint8_t md5[16]) {
    CFileDigest digest{};
    for (size_t word = 0; word < digest.size(); ++word)
        for (size_t byte = 0; byte < 4; ++byte) digest[word] |= static_cast<uint32_t>(md5[word * 4 + byte]) << (8 * byte);
    return digest;
}

CFileDigest ComputeFileDigest(const void* pData, size_t size) {
    uint8_t md5[CMD5Hash::DIGEST_SIZE] = {};
    CMD5Hash::Compute(pData, size, md5);
    return MakeFileDigest(md5);
}

bool CKeyEventMessage::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt8(m_Down) && writer.WriteUInt32(m_ScanCode) && writer.WriteUInt32(m_KeyCode) &&
           writer.WriteUInt16(m_Modifiers) && writer.WriteUInt32(m_RepeatCount);
}

bool CKeyEventMessage::Read(CBinaryReader& reader) {
    return reader.ReadUInt8(m_Down) && reader.ReadUInt32(m_ScanCode) && reader.ReadUInt32(m_KeyCode) &&
           reader.ReadUInt16(m_Modifiers) && reader.ReadUInt32(m_RepeatCount);
}
