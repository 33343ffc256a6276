// Chunk nodes, their kinds, the type registry and the body layout of the three file versions.
#include "Engine/Assert.h"
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/StreamRangeStream.h"
#include "Engine/TesseraHBF.h"

#include <algorithm>
#include <cstring>

namespace Tessera3D {

namespace {

constexpr size_t READ_PIECE = 65536;

bool EqualsIgnoringCase(const std::string& a, const char* pB) {
    const size_t length = strlen(pB);
    if (a.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(pB[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Reads the rest of the stream (a window over a data area) in pieces.
template <typename Buffer>
void ReadAll(Stream* pStream, Buffer& buffer) {
    buffer.clear();
    for (;;) {
        const size_t offset = buffer.size();
        buffer.resize(offset + READ_PIECE);
        const size_t got = pStream->Read(&buffer[offset], READ_PIECE);
        buffer.resize(offset + got);
        if (got == 0) return;
    }
}

// The smallest encoded child (type id and an empty body), which bounds how many children the rest
// of a stream can hold.
constexpr int64_t MIN_CHILD_SIZE_V6 = 4 + 2 + 1 + 4 + 4 + 2;
constexpr int64_t MIN_CHILD_SIZE = 4 + 1 + 4 + 4;

} // namespace

// --- CChunk ---

CChunk::CChunk(uint32_t type) : m_Type(type) {}

CChunk::~CChunk() {
    Orphan();
    std::vector<CChunk*> children = std::move(m_Children);
    m_Children.clear();
    for (CChunk* pChild : children) {
        pChild->m_pParent = nullptr; // already out of the list: no need to search for it
        delete pChild;
    }
}

void CChunk::Orphan() {
    if (!m_pParent) return;
    std::vector<CChunk*>& siblings = m_pParent->m_Children;
    if (m_Index < siblings.size() && siblings[m_Index] == this) {
        siblings.erase(siblings.begin() + static_cast<ptrdiff_t>(m_Index));
        for (size_t i = m_Index; i < siblings.size(); ++i) siblings[i]->m_Index = i;
    }
    m_pParent = nullptr;
    m_Index = 0;
}

void CChunk::AddChild(CChunk* pChild) {
    if (!pChild || pChild == this) return;
    pChild->Orphan();
    pChild->m_pParent = this;
    pChild->m_Index = m_Children.size();
    m_Children.push_back(pChild);
}

CChunk* CChunk::FindChunk(uint32_t type, size_t start) const {
    for (size_t i = start; i < m_Children.size(); ++i)
        if (m_Children[i]->m_Type == type) return m_Children[i];
    return nullptr;
}

CChunk* CChunk::FindChunk(uint32_t type, size_t start, const char* pName) const {
    if (!pName) return FindChunk(type, start);
    for (size_t i = start; i < m_Children.size(); ++i)
        if (m_Children[i]->m_Type == type && EqualsIgnoringCase(m_Children[i]->m_Name, pName)) return m_Children[i];
    return nullptr;
}

bool CChunk::Read(Stream* pStream) { return pStream && ReadBody(pStream, 0); }

bool CChunk::ReadBody(Stream* pStream, unsigned depth) {
    if (depth > HBF_MAX_DEPTH) return false;
    const bool v6 = m_Version == 6;
    CBinaryReader reader(pStream);

    uint16_t headerSize = 0;
    if (v6 && !reader.ReadUInt16(headerSize)) return false;

    // An unreadable name leaves the name as it was; the rest of the body decides.
    std::string name;
    size_t nameLength = 0;
    if (reader.ReadString(name)) {
        nameLength = name.size();
        m_Name = std::move(name);
    }

    uint32_t dataSize;
    int64_t dataEnd;
    if (v6) {
        // The header size counts the name's length prefix as one byte. Nothing here may move the
        // stream backwards: a body must never be read twice.
        if (headerSize < nameLength + 1) return false;
        if (!pStream->Seek(static_cast<int64_t>(headerSize - nameLength - 1), SEEK_ORIGIN_CURRENT)) return false;
        uint32_t totalSize;
        if (!reader.ReadUInt32(totalSize) || !reader.ReadUInt32(dataSize)) return false;
        if (static_cast<uint64_t>(totalSize) < 4 + static_cast<uint64_t>(dataSize)) return false;
        dataEnd = pStream->Tell() + static_cast<int64_t>(totalSize) - 4;
    } else {
        if (!reader.ReadUInt32(dataSize)) return false;
        dataEnd = pStream->Tell() + static_cast<int64_t>(dataSize);
    }

    const int64_t dataStart = pStream->Tell();
    const int64_t length = pStream->GetLength();
    if (dataStart < 0 || (length >= 0 && dataEnd > length)) return false;
    {
        Strong<CStreamRangeStream> pWindow = MakeStrong<CStreamRangeStream>(pStream, dataStart, static_cast<int64_t>(dataSize));
        if (!ReadData(pWindow.Get())) return false;
    }
    // Whatever ReadData consumed, the children follow the data area (and a version 6 chunk's extra).
    if (!pStream->Seek(dataEnd, SEEK_ORIGIN_BEGIN)) return false;

    uint32_t count;
    if (v6) {
        uint16_t count16;
        if (!reader.ReadUInt16(count16)) return false;
        count = count16;
    } else if (!reader.ReadUInt32(count)) {
        return false;
    }

    // A body is read once; reading again replaces the children.
    if (!TESSERA_ASSERT(m_Children.size() == 0))
        for (CChunk* pChild : std::exchange(m_Children, {})) {
            pChild->m_pParent = nullptr;
            delete pChild;
        }
    // A count the rest of the stream cannot hold is refused before anything is reserved for it.
    if (length >= 0) {
        const int64_t remaining = length - pStream->Tell();
        if (static_cast<int64_t>(count) > remaining / (v6 ? MIN_CHILD_SIZE_V6 : MIN_CHILD_SIZE)) return false;
        m_Children.reserve(count);
    }

    for (uint32_t i = 0; i < count; ++i) {
        uint32_t type;
        if (!reader.ReadUInt32(type)) return false;
        CChunk* pChild = CChunkTypes::m_Global._Create(type);
        pChild->m_Index = i;
        pChild->m_Version = m_Version;
        pChild->m_pParent = this;
        if (!pChild->ReadBody(pStream, depth + 1)) {
            pChild->m_pParent = nullptr;
            delete pChild;
            return false;
        }
        pChild->Process();
        m_Children.push_back(pChild);
    }
    return true;
}

// --- Kinds ---

bool CDataChunk::ReadData(Stream* pStream) {
    ReadAll(pStream, m_Data);
    m_Data.shrink_to_fit();
    return true;
}

bool CDataChunk::WriteData(Stream* pStream) { return CBinaryWriter(pStream).WriteBytes(m_Data.data(), m_Data.size()); }

bool CHistoryChunk::ReadData(Stream* pStream) {
    ReadAll(pStream, m_Text);
    m_Text.shrink_to_fit();
    return true;
}

bool CHistoryChunk::WriteData(Stream* pStream) { return CBinaryWriter(pStream).WriteBytes(m_Text.data(), m_Text.size()); }

bool CElementChunk::ReadData(Stream* pStream) { return m_Text.Read(pStream) && m_Attributes.Read(pStream); }

bool CElementChunk::WriteData(Stream* pStream) { return m_Text.Write(pStream) && m_Attributes.Write(pStream); }

CElementChunk* CElementChunk::FromChunk(CChunk* pChunk) { return dynamic_cast<CElementChunk*>(pChunk); }

const char* CElementChunk::Attribute(const char* pName, size_t* pLength) const {
    const CArgument* pValue = m_Attributes.Get(pName);
    if (!pValue || !pValue->IsString()) return nullptr;
    return pValue->ToString(pLength);
}

CElementChunk* CElementChunk::FindElement(const char* pName, size_t start) const {
    return FromChunk(FindChunk(CHUNK_ELEMENT, start, pName));
}

CElementChunk* CElementChunk::GetNextElement() const {
    CChunk* pParent = GetParent();
    return pParent ? FromChunk(pParent->FindChunk(CHUNK_ELEMENT, GetIndex() + 1)) : nullptr;
}

CElementChunk* CElementChunk::GetNextSameNameElement() const {
    CChunk* pParent = GetParent();
    return pParent ? FromChunk(pParent->FindChunk(CHUNK_ELEMENT, GetIndex() + 1, GetName().c_str())) : nullptr;
}

// --- Registry ---

namespace {

template <typename T>
CChunk* MakeChunk() { return new T(); }

CChunk* MakeDataChunk() { return new CDataChunk(CHUNK_DATA); }

} // namespace

CChunkTypes CChunkTypes::m_Global;

CChunkTypes::CChunkTypes() {
    RegisterCustomChunk(CHUNK_DATA, MakeDataChunk);
    RegisterCustomChunk(CHUNK_IMAGEDATA, MakeChunk<CImageDataChunk>);
    RegisterCustomChunk(CHUNK_HISTORY, MakeChunk<CHistoryChunk>);
    RegisterCustomChunk(CHUNK_TEXTURE, MakeChunk<CTextureChunk>);
    RegisterCustomChunk(CHUNK_ELEMENT, MakeChunk<CElementChunk>);
}

void CChunkTypes::RegisterCustomChunk(uint32_t type, Factory factory) {
    if (type < DIRECT_TYPES) {
        m_Direct[type].m_bUsed = true;
        m_Direct[type].m_Factory = factory;
    } else {
        m_Custom[type] = factory;
    }
}

CChunk* CChunkTypes::_Create(uint32_t type) const {
    Factory factory = nullptr;
    if (type < DIRECT_TYPES) {
        if (m_Direct[type].m_bUsed) factory = m_Direct[type].m_Factory;
    } else {
        auto it = m_Custom.find(type);
        if (it != m_Custom.end()) factory = it->second;
    }
    CChunk* pChunk = factory ? factory() : nullptr;
    return pChunk ? pChunk : new CDataChunk(type);
}

} // namespace Tessera3D
