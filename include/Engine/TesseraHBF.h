#pragma once
// Chunk trees: the binary chunk file format "HBF" (stored or zlib-compressed, versions 6 to 8) and
// the element trees that every structured document (configuration, meta files, maps, script XML) is
// read into, from HBF or from XML text.
#include "Engine/ArgumentMap.h"
#include "Engine/RefCounted.h"
#include "Engine/Stream.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tessera3D {

enum eChunkType : uint32_t {
    CHUNK_ROOT = 0, // the unnamed top chunk of a file (its stored type id is ignored)
    CHUNK_DATA = 1,
    CHUNK_IMAGEDATA = 5,
    CHUNK_HISTORY = 21,
    CHUNK_TEXTURE = 72,
    CHUNK_ELEMENT = 93,
};

// Format version of chunks made in memory; files of versions 6, 7 and 8 are read.
constexpr uint32_t HBF_CURRENT_VERSION = 8;
// Limits on what a file may make the loader allocate or recurse into.
constexpr uint32_t HBF_MAX_UNCOMPRESSED_SIZE = 64u << 20;
constexpr uint32_t HBF_MAX_COMPRESSED_SIZE = 64u << 20;
constexpr unsigned HBF_MAX_DEPTH = 256;

// A node of a chunk tree; the tree owns its nodes (deleting a chunk deletes its subtree).
class CChunk : public CBase {
public:
    explicit CChunk(uint32_t type);
    CChunk(const CChunk&) = delete;
    CChunk& operator=(const CChunk&) = delete;
    // Detaches from the parent, then destroys the children.
    ~CChunk() override;

    // Reads the chunk's own data from a stream covering exactly its data area.
    virtual bool ReadData(Stream* pStream) { return true; }
    // Writes the data in the layout ReadData reads.
    virtual bool WriteData(Stream* pStream) { return true; }
    // Called once after the chunk and all its children were read from a file.
    virtual void Process() {}

    // Reads this chunk's body in its version's layout (the type id was consumed by the caller): name,
    // data, children. Fails on a short or inconsistent body; children read before a failure stay.
    bool Read(Stream* pStream);

    // The first child at index start or later of the type (and with the name, compared without regard
    // to ASCII case); null when there is none.
    CChunk* FindChunk(uint32_t type, size_t start) const;
    CChunk* FindChunk(uint32_t type, size_t start, const char* pName) const;

    // Removes this chunk from its parent's children (later siblings move up one place).
    void Orphan();
    // Appends a detached chunk as the last child and takes ownership of it.
    void AddChild(CChunk* pChild);

    uint32_t GetType() const { return m_Type; }
    uint32_t GetVersion() const { return m_Version; }
    void SetVersion(uint32_t version) { m_Version = version; }
    size_t GetIndex() const { return m_Index; }
    CChunk* GetParent() const { return m_pParent; }
    const std::string& GetName() const { return m_Name; }
    void SetName(std::string name) { m_Name = std::move(name); }
    size_t GetChildCount() const { return m_Children.size(); }
    CChunk* GetChild(size_t index) const { return index < m_Children.size() ? m_Children[index] : nullptr; }
    const std::vector<CChunk*>& GetChildren() const { return m_Children; }

private:
    bool ReadBody(Stream* pStream, unsigned depth);

    size_t m_Index = 0;
    uint32_t m_Version = HBF_CURRENT_VERSION;
    uint32_t m_Type;
    CChunk* m_pParent = nullptr;
    std::string m_Name;
    std::vector<CChunk*> m_Children;
};

// The top chunk of an HBF file.
class CRootChunk : public CChunk {
public:
    CRootChunk() : CChunk(CHUNK_ROOT) {}

    int32_t GetCompressionLevel() const { return m_CompressionLevel; }
    bool IsCompressed() const { return m_bCompressed; }
    void SetCompression(bool compressed, int32_t level) { m_bCompressed = compressed; m_CompressionLevel = level; }

private:
    int32_t m_CompressionLevel = -1; // zlib's default level
    bool m_bCompressed = false;
};

// Keeps its whole data area as bytes (types 1 and every unregistered type).
class CDataChunk : public CChunk {
public:
    explicit CDataChunk(uint32_t type = CHUNK_DATA) : CChunk(type) {}

    bool ReadData(Stream* pStream) override;
    bool WriteData(Stream* pStream) override;

    const uint8_t* GetData() const { return m_Data.empty() ? nullptr : m_Data.data(); }
    size_t GetDataSize() const { return m_Data.size(); }

private:
    std::vector<uint8_t> m_Data;
};

class CImageDataChunk : public CDataChunk {
public:
    CImageDataChunk() : CDataChunk(CHUNK_IMAGEDATA) {}
};

// Texture descriptions are of no use to the server; their bytes are kept as they are.
class CTextureChunk : public CDataChunk {
public:
    CTextureChunk() : CDataChunk(CHUNK_TEXTURE) {}
};

// Its data area as text.
class CHistoryChunk : public CChunk {
public:
    CHistoryChunk() : CChunk(CHUNK_HISTORY) {}

    bool ReadData(Stream* pStream) override;
    bool WriteData(Stream* pStream) override;

    const std::string& GetText() const { return m_Text; }

private:
    std::string m_Text;
};

// An element: a name, a text and attributes, like an XML element.
class CElementChunk : public CChunk {
public:
    CElementChunk() : CChunk(CHUNK_ELEMENT) {}

    // Reads a document, HBF or XML text, into an element tree owned by the caller; null when the
    // stream holds neither an HBF file with a top element nor XML with a root element.
    static CElementChunk* Load(Stream* pStream);
    // The chunk as an element, or null when it is another kind.
    static CElementChunk* FromChunk(CChunk* pChunk);

    // The text (string payload) followed by the attributes (map payload).
    bool ReadData(Stream* pStream) override;
    bool WriteData(Stream* pStream) override;

    const char* GetText() const { return m_Text.GetText(); }
    const std::string& GetTextString() const { return m_Text.GetString(); }
    void SetText(std::string_view text) { m_Text.SetString(text); }

    // The text of a string attribute (exact, case-sensitive name) and its byte length; null when the
    // attribute is missing or holds another kind.
    const char* Attribute(const char* pName, size_t* pLength = nullptr) const;
    CArgumentMap& GetAttributes() { return m_Attributes; }
    const CArgumentMap& GetAttributes() const { return m_Attributes; }

    // The first child element at index start or later, with the name when one is given (ASCII
    // case-insensitive).
    CElementChunk* FindElement(const char* pName = nullptr, size_t start = 0) const;
    // The next element sibling whatever its name.
    CElementChunk* GetNextElement() const;
    // The next element sibling with this element's name (ASCII case-insensitive).
    CElementChunk* GetNextSameNameElement() const;

private:
    CArgumentString m_Text;
    CArgumentMap m_Attributes;
};

// The process-wide registry of chunk kinds by type id.
class CChunkTypes {
public:
    // Makes a chunk with version 8, index 0, no parent, an empty name and its kind's type id.
    using Factory = CChunk* (*)();

    CChunkTypes();

    // Adds or replaces the factory of a type id.
    void RegisterCustomChunk(uint32_t type, Factory factory);
    // A new chunk of the type: the registered kind, or a data chunk carrying the type id when there is
    // none (or it makes nothing).
    CChunk* _Create(uint32_t type) const;

    static CChunkTypes m_Global;

private:
    static constexpr uint32_t DIRECT_TYPES = 100;
    struct DirectEntry {
        bool m_bUsed = false;
        Factory m_Factory = nullptr;
    };
    DirectEntry m_Direct[DIRECT_TYPES];
    std::unordered_map<uint32_t, Factory> m_Custom;
};

} // namespace Tessera3D
