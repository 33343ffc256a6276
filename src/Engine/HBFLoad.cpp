// The document loader: an HBF file (stored or zlib-compressed) or, failing that, XML text.
#include "Engine/BinaryReader.h"
#include "Engine/MemoryStream.h"
#include "Engine/TesseraHBF.h"
#include "Engine/TextReader.h"

#include <pugixml.hpp>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace Tessera3D {

namespace {

constexpr uint8_t HBF_MODE_STORED = 0xFF;
constexpr uint8_t HBF_MODE_COMPRESSED = 0x5A;
constexpr size_t INFLATE_FIRST_PIECE = 65536;

// Inflates a zlib stream that must produce exactly expectedSize bytes. The output grows with what
// actually inflates, so a lying size costs nothing until the data backs it up.
bool InflateExactly(const std::vector<uint8_t>& input, uint32_t expectedSize, std::vector<uint8_t>& output) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(input.data());
    zs.avail_in = static_cast<uInt>(input.size());
    const size_t limit = static_cast<size_t>(expectedSize) + 1; // one spare byte reveals an overlong body
    output.clear();
    int status = Z_OK;
    for (;;) {
        if (zs.total_out == output.size()) {
            if (output.size() >= limit) break;
            output.resize(std::min(limit, std::max(output.size() * 2, INFLATE_FIRST_PIECE)));
        }
        zs.next_out = output.data() + zs.total_out;
        zs.avail_out = static_cast<uInt>(output.size() - zs.total_out);
        status = inflate(&zs, Z_NO_FLUSH);
        if (status != Z_OK) break;
    }
    const bool exact = status == Z_STREAM_END && zs.total_out == expectedSize;
    output.resize(zs.total_out);
    inflateEnd(&zs);
    return exact;
}

bool ReadStoredRoot(Stream* pStream, CRootChunk& root) {
    uint32_t rootType;
    return CBinaryReader(pStream).ReadUInt32(rootType) && root.Read(pStream);
}

bool ReadCompressedRoot(Stream* pStream, CRootChunk& root) {
    CBinaryReader reader(pStream);
    uint32_t uncompressedSize, compressedSize;
    int32_t level;
    if (!reader.ReadUInt32(uncompressedSize) || !reader.ReadUInt32(compressedSize) || !reader.ReadInt32(level)) return false;
    root.SetCompression(true, level);
    if (uncompressedSize > HBF_MAX_UNCOMPRESSED_SIZE || compressedSize > HBF_MAX_COMPRESSED_SIZE) return false;
    const int64_t length = pStream->GetLength();
    if (length >= 0 && static_cast<int64_t>(compressedSize) > length - pStream->Tell()) return false;

    std::vector<uint8_t> compressed(compressedSize);
    if (!reader.ReadBytes(compressed.data(), compressed.size())) return false;
    std::vector<uint8_t> body;
    if (!InflateExactly(compressed, uncompressedSize, body)) return false;
    compressed = {};

    Strong<CMemoryStream> pBody = MakeStrong<CMemoryStream>(static_cast<const void*>(body.data()), body.size());
    uint32_t rootType;
    return CBinaryReader(pBody.Get()).ReadUInt32(rootType) && root.Read(pBody.Get());
}

// Reads an HBF document. False when the stream is not a readable HBF file; otherwise true with the
// top element (null when the file has none).
bool LoadBinary(Stream* pStream, CElementChunk*& pElement) {
    pElement = nullptr;
    uint8_t magic[4];
    if (pStream->Read(magic, sizeof(magic)) != sizeof(magic) || memcmp(magic, "HBF", 3) != 0 ||
        (magic[3] != HBF_MODE_STORED && magic[3] != HBF_MODE_COMPRESSED))
        return false;
    CBinaryReader reader(pStream);
    uint32_t version, reserved;
    if (!reader.ReadUInt32(version) || version < 6 || version > 8) return false;
    if (version == 8 && !reader.ReadUInt32(reserved)) return false;

    CRootChunk root;
    root.SetVersion(version);
    const bool read = magic[3] == HBF_MODE_STORED ? ReadStoredRoot(pStream, root) : ReadCompressedRoot(pStream, root);
    if (!read) return false;
    pElement = CElementChunk::FromChunk(root.GetChild(0));
    if (pElement) pElement->Orphan();
    return true; // the root and anything else in it go with it
}

// Builds the chunk of an XML element and its subtree; null when it nests deeper than the bound.
CElementChunk* BuildElement(const pugi::xml_node& node, unsigned depth) {
    if (depth > HBF_MAX_DEPTH) return nullptr;
    CChunk* pChunk = CChunkTypes::m_Global._Create(CHUNK_ELEMENT);
    CElementChunk* pElement = CElementChunk::FromChunk(pChunk);
    if (!pElement) {
        delete pChunk;
        return nullptr;
    }
    pElement->SetName(node.name());

    // Only a first child that is text counts as the element's text.
    const pugi::xml_node first = node.first_child();
    if (first && (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata)) pElement->SetText(first.value());

    CArgumentMap& attributes = pElement->GetAttributes();
    attributes.Clear();
    for (const pugi::xml_attribute& attribute : node.attributes())
        attributes.Set(attribute.name(), new CArgumentString(attribute.value()));

    for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        CElementChunk* pChild = BuildElement(child, depth + 1);
        if (!pChild) {
            delete pElement;
            return nullptr;
        }
        pElement->AddChild(pChild);
    }
    return pElement;
}

CElementChunk* LoadText(Stream* pStream) {
    if (!pStream->Seek(0, SEEK_ORIGIN_BEGIN)) return nullptr;
    CTextReader reader(pStream);
    const std::string& text = reader.GetText();
    pugi::xml_document document;
    // Comments, declarations and processing instructions are not kept by these options.
    if (!document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8)) return nullptr;
    const pugi::xml_node root = document.document_element();
    return root ? BuildElement(root, 1) : nullptr; // depth counted as in files, below their root
}

} // namespace

CElementChunk* CElementChunk::Load(Stream* pStream) {
    if (!pStream) return nullptr;
    CElementChunk* pElement;
    if (LoadBinary(pStream, pElement)) return pElement;
    return LoadText(pStream);
}

} // namespace Tessera3D
