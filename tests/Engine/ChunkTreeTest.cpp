#include "ByteTable.h"
#include "Engine/MemoryStream.h"
#include "Engine/TesseraHBF.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>

using namespace Tessera3D;

namespace {

// Little-endian byte building for hand-made chunk files.
class ByteBuilder {
public:
    ByteBuilder& U8(uint8_t v) { m_Bytes.push_back(v); return *this; }
    ByteBuilder& U16(uint16_t v) { return Raw(&v, 2); }
    ByteBuilder& U32(uint32_t v) { return Raw(&v, 4); }
    ByteBuilder& I32(int32_t v) { return Raw(&v, 4); }
    ByteBuilder& Compressed(uint32_t v) {
        for (; v > 127; v >>= 7) U8(static_cast<uint8_t>((v & 127) | 128));
        return U8(static_cast<uint8_t>(v));
    }
    ByteBuilder& Str(const std::string& s) { return Compressed(static_cast<uint32_t>(s.size())).Raw(s.data(), s.size()); }
    ByteBuilder& Raw(const void* p, size_t n) {
        m_Bytes.insert(m_Bytes.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
        return *this;
    }
    ByteBuilder& Raw(const Bytes& b) { return Raw(b.data(), b.size()); }
    const Bytes& Get() const { return m_Bytes; }

private:
    Bytes m_Bytes;
};

Bytes Concat(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// Element data: the text as a string payload, then the attributes as a map payload of strings.
Bytes ElementData(const std::string& text, const std::vector<std::pair<std::string, std::string>>& attributes = {}) {
    ByteBuilder b;
    b.Str(text).Compressed(static_cast<uint32_t>(attributes.size()));
    for (const auto& [key, value] : attributes) b.U8(ARGUMENT_STRING).Str(key).Str(value);
    return b.Get();
}

struct Node {
    uint32_t type = CHUNK_ELEMENT;
    std::string name;
    Bytes data;
    std::vector<Node> children;
    Bytes headerRest; // version 6: skipped bytes after the name
    Bytes extra;      // version 6: skipped bytes after the data area
};

Node Element(const std::string& name, const Bytes& data, std::vector<Node> children = {}) {
    return Node{CHUNK_ELEMENT, name, data, std::move(children), {}, {}};
}

void AppendBody(ByteBuilder& b, const Node& node, uint32_t version) {
    if (version == 6) {
        b.U16(static_cast<uint16_t>(1 + node.name.size() + node.headerRest.size()))
            .Str(node.name)
            .Raw(node.headerRest)
            .U32(static_cast<uint32_t>(4 + node.data.size() + node.extra.size()))
            .U32(static_cast<uint32_t>(node.data.size()))
            .Raw(node.data)
            .Raw(node.extra)
            .U16(static_cast<uint16_t>(node.children.size()));
    } else {
        b.Str(node.name).U32(static_cast<uint32_t>(node.data.size())).Raw(node.data).U32(static_cast<uint32_t>(node.children.size()));
    }
    for (const Node& child : node.children) {
        b.U32(child.type);
        AppendBody(b, child, version);
    }
}

enum eMode : uint8_t { STORED = 0xFF, COMPRESSED = 0x5A };

struct FileOptions {
    std::optional<uint32_t> uncompressedSize; // overrides the true size in the header
    std::optional<uint32_t> compressedSize;
    bool corruptStream = false;
};

Bytes HbfFile(const Node& root, uint32_t version, uint8_t mode, const FileOptions& options = {}) {
    ByteBuilder inner;
    inner.U32(0); // root type id, ignored
    AppendBody(inner, root, version);

    ByteBuilder file;
    file.Raw("HBF", 3).U8(mode).U32(version);
    if (version == 8) file.U32(0xDEADBEEF); // reserved
    if (mode != COMPRESSED) return file.Raw(inner.Get()).Get();

    uLongf length = compressBound(inner.Get().size());
    Bytes packed(length);
    EXPECT_EQ(compress2(packed.data(), &length, inner.Get().data(), inner.Get().size(), 9), Z_OK);
    packed.resize(length);
    if (options.corruptStream) packed[packed.size() / 2] ^= 0x55;
    file.U32(options.uncompressedSize.value_or(static_cast<uint32_t>(inner.Get().size())))
        .U32(options.compressedSize.value_or(static_cast<uint32_t>(packed.size())))
        .I32(9)
        .Raw(packed);
    return file.Get();
}

std::unique_ptr<CElementChunk> Load(const Bytes& bytes) {
    auto stream = MakeStrong<CMemoryStream>(static_cast<const void*>(bytes.data()), bytes.size());
    return std::unique_ptr<CElementChunk>(CElementChunk::Load(stream.Get()));
}

std::unique_ptr<CElementChunk> LoadText(const std::string& text) { return Load(Bytes(text.begin(), text.end())); }

// A configuration-like document exercising every navigation operation.
Node SampleRoot() {
    Node config = Element("config", Concat(ElementData("hello", {{"port", "22000"}, {"name", "srv"}}), HexBytes("EE EE EE")));
    config.headerRest = HexBytes("AA BB");
    config.extra = HexBytes("CC CC CC");
    Node modules = Element("Modules", ElementData(""), {Element("module", ElementData("", {{"src", "a"}})),
                                                        Element("module", ElementData("", {{"src", "b"}}))});
    Node unknown{200, "blob", HexBytes("01 02 03"), {}, {}, {}};
    Node history{CHUNK_HISTORY, "", Bytes{'n', 'o', 't', 'e'}, {}, {}, {}};
    // An attribute stored as an integer value: present, but not text.
    ByteBuilder ruleData;
    ruleData.Str("").Compressed(2).U8(ARGUMENT_INTEGER).Str("n").I32(7).U8(ARGUMENT_STRING).Str("s").Str("t");
    config.children = {modules, unknown, Element("cvar", ElementData("", {{"name", "x"}})), history,
                       Element("CVAR", ElementData("", {{"name", "y"}})), Element("rule", ruleData.Get())};
    Node root{CHUNK_ROOT, "", {}, {config, Element("second", ElementData(""))}, {}, {}};
    return root;
}

} // namespace

TEST(ChunkTree, LoadsEveryVersionAndStorageMode) {
    for (uint32_t version : {6u, 7u, 8u}) {
        for (uint8_t mode : {STORED, COMPRESSED}) {
            SCOPED_TRACE(testing::Message() << "version " << version << " mode " << int(mode));
            std::unique_ptr<CElementChunk> top = Load(HbfFile(SampleRoot(), version, mode));
            ASSERT_TRUE(top);
            EXPECT_EQ(top->GetName(), "config");
            EXPECT_EQ(top->GetParent(), nullptr);
            EXPECT_EQ(top->GetIndex(), 0u);
            EXPECT_EQ(top->GetVersion(), version);
            EXPECT_STREQ(top->GetText(), "hello");
            size_t length = 0;
            EXPECT_STREQ(top->Attribute("port", &length), "22000");
            EXPECT_EQ(length, 5u);
            EXPECT_EQ(top->Attribute("PORT"), nullptr); // attribute names are case-sensitive
            // The data area had three bytes ReadData did not consume; the children still follow it.
            ASSERT_EQ(top->GetChildCount(), 6u);

            CElementChunk* modules = CElementChunk::FromChunk(top->FindChunk(CHUNK_ELEMENT, 0, "modules"));
            ASSERT_NE(modules, nullptr);
            EXPECT_EQ(modules->GetName(), "Modules");
            EXPECT_EQ(modules->GetVersion(), version);
            CElementChunk* module = modules->FindElement("MODULE");
            ASSERT_NE(module, nullptr);
            EXPECT_STREQ(module->Attribute("src"), "a");
            module = module->GetNextSameNameElement();
            ASSERT_NE(module, nullptr);
            EXPECT_STREQ(module->Attribute("src"), "b");
            EXPECT_EQ(module->GetNextSameNameElement(), nullptr);

            // Unknown type 200 stays a data chunk with its bytes.
            auto* blob = dynamic_cast<CDataChunk*>(top->FindChunk(200, 0));
            ASSERT_NE(blob, nullptr);
            EXPECT_EQ(blob->GetType(), 200u);
            EXPECT_EQ(blob->GetName(), "blob");
            EXPECT_EQ(ToBytes(blob->GetData(), blob->GetDataSize()), HexBytes("01 02 03"));
            auto* history = dynamic_cast<CHistoryChunk*>(top->FindChunk(CHUNK_HISTORY, 0));
            ASSERT_NE(history, nullptr);
            EXPECT_EQ(history->GetText(), "note");

            // Same-name walk ignores case; the element walk skips other chunk kinds.
            CElementChunk* cvar = top->FindElement("cvar");
            ASSERT_NE(cvar, nullptr);
            CElementChunk* cvar2 = cvar->GetNextSameNameElement();
            ASSERT_NE(cvar2, nullptr);
            EXPECT_STREQ(cvar2->Attribute("name"), "y");
            EXPECT_EQ(cvar2->GetNextSameNameElement(), nullptr);
            std::vector<std::string> walk;
            for (CElementChunk* e = top->FindElement(); e; e = e->GetNextElement()) walk.push_back(e->GetName());
            EXPECT_EQ(walk, (std::vector<std::string>{"Modules", "cvar", "CVAR", "rule"}));

            CElementChunk* rule = top->FindElement("rule");
            ASSERT_NE(rule, nullptr);
            EXPECT_EQ(rule->Attribute("n"), nullptr);
            ASSERT_NE(rule->GetAttributes().Get("n"), nullptr);
            EXPECT_EQ(rule->GetAttributes().Get("n")->GetType(), ARGUMENT_INTEGER);
            EXPECT_STREQ(rule->Attribute("s"), "t");
        }
    }
}

TEST(ChunkTree, FilesWithoutATopElementYieldNull) {
    const Node data{CHUNK_DATA, "", HexBytes("01"), {}, {}, {}};
    const Node cases[] = {
        Node{CHUNK_ROOT, "", {}, {}, {}, {}},                                      // no children
        Node{CHUNK_ROOT, "", {}, {data, Element("late", ElementData(""))}, {}, {}}, // first child is data
    };
    for (const Node& root : cases) {
        EXPECT_EQ(Load(HbfFile(root, 7, STORED)), nullptr);
        EXPECT_EQ(Load(HbfFile(root, 8, COMPRESSED)), nullptr);
    }
}

TEST(ChunkTree, UnsupportedHeadersFallBackToText) {
    const Node root = SampleRoot();
    for (uint32_t version : {5u, 9u}) EXPECT_EQ(Load(HbfFile(root, version, STORED)), nullptr) << version;
    EXPECT_EQ(Load(HbfFile(root, 7, 0x00)), nullptr); // neither stored nor compressed

    // A wrong mode byte makes the whole stream text: here it is XML with a root element.
    std::unique_ptr<CElementChunk> text = LoadText("HBF\x01<a x=\"1\"/>");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->GetName(), "a");
    EXPECT_STREQ(text->Attribute("x"), "1");
}

TEST(ChunkTree, TruncatedFilesYieldNull) {
    for (uint32_t version : {6u, 8u}) {
        for (uint8_t mode : {STORED, COMPRESSED}) {
            const Bytes file = HbfFile(SampleRoot(), version, mode);
            for (size_t length = 0; length < file.size(); ++length)
                EXPECT_EQ(Load(Bytes(file.begin(), file.begin() + static_cast<ptrdiff_t>(length))), nullptr)
                    << "version " << version << " mode " << int(mode) << " length " << length;
        }
    }
}

TEST(ChunkTree, CompressedBodiesMustInflateToTheirStatedSize) {
    const Node root = SampleRoot();
    const Bytes good = HbfFile(root, 7, COMPRESSED);
    ASSERT_TRUE(Load(good));
    uint32_t actual;
    memcpy(&actual, good.data() + 8, 4);

    struct Case { const char* what; FileOptions options; } cases[] = {
        {"one byte more announced", {actual + 1, std::nullopt, false}},
        {"one byte fewer announced", {actual - 1, std::nullopt, false}},
        {"uncompressed size above the limit", {HBF_MAX_UNCOMPRESSED_SIZE + 1, std::nullopt, false}},
        {"compressed size beyond the file", {std::nullopt, 0x00100000, false}},
        {"compressed size above the limit", {std::nullopt, HBF_MAX_COMPRESSED_SIZE + 1, false}},
        {"corrupt stream", {std::nullopt, std::nullopt, true}},
    };
    for (const Case& c : cases) EXPECT_EQ(Load(HbfFile(root, 7, COMPRESSED, c.options)), nullptr) << c.what;
}

TEST(ChunkTree, HostileSizesAreRefusedBeforeAllocating) {
    auto stored = [](uint32_t version, const std::function<void(ByteBuilder&)>& body) {
        ByteBuilder b;
        b.Raw("HBF", 3).U8(STORED).U32(version);
        if (version == 8) b.U32(0);
        b.U32(0);
        body(b);
        return b.Get();
    };
    const Bytes elementData = ElementData("");
    const Bytes cases[] = {
        // A child count no stream of this size can hold.
        stored(7, [](ByteBuilder& b) { b.Str("").U32(0).U32(0xFFFFFFFF).U32(CHUNK_ELEMENT); }),
        // A data area far beyond the end of the file.
        stored(8, [](ByteBuilder& b) { b.Str("").U32(0xFFFFFFF0).U8(0); }),
        // Version 6: a header size smaller than the name it holds.
        stored(6, [](ByteBuilder& b) { b.U16(1).Str("long name").U32(4).U32(0).U16(0); }),
        // Version 6: a total size smaller than the data size.
        stored(6, [&](ByteBuilder& b) {
            b.U16(1).Str("").U32(4).U32(0).U16(1).U32(CHUNK_ELEMENT);
            b.U16(2).Str("e").U32(2).U32(static_cast<uint32_t>(elementData.size())).Raw(elementData).U16(0);
        }),
    };
    for (const Bytes& file : cases) EXPECT_EQ(Load(file), nullptr);
}

TEST(ChunkTree, NestingDepthIsBounded) {
    auto nested = [](unsigned depth) {
        Node node = Element("leaf", ElementData("x"));
        for (unsigned i = 1; i < depth; ++i) node = Element("n", ElementData(""), {node});
        return Node{CHUNK_ROOT, "", {}, {node}, {}, {}};
    };
    std::unique_ptr<CElementChunk> deep = Load(HbfFile(nested(200), 7, STORED));
    ASSERT_TRUE(deep);
    const CElementChunk* e = deep.get();
    unsigned depth = 1;
    while (CElementChunk* child = e->FindElement()) e = child, ++depth;
    EXPECT_EQ(depth, 200u);
    EXPECT_STREQ(e->GetText(), "x");

    EXPECT_EQ(Load(HbfFile(nested(HBF_MAX_DEPTH + 1), 7, STORED)), nullptr);
    EXPECT_EQ(Load(HbfFile(nested(HBF_MAX_DEPTH + 1), 8, COMPRESSED)), nullptr);

    std::string xml;
    for (unsigned i = 0; i < HBF_MAX_DEPTH; ++i) xml += "<n>";
    for (unsigned i = 0; i < HBF_MAX_DEPTH; ++i) xml += "</n>";
    EXPECT_TRUE(LoadText(xml));
    EXPECT_EQ(LoadText("<n>" + xml + "</n>"), nullptr);
}

TEST(ChunkTree, FailingElementDataFailsTheLoad) {
    ByteBuilder data;
    data.Str("").Compressed(1).U8(ARGUMENT_OBJECT).Str("o"); // objects cannot be read
    Node root{CHUNK_ROOT, "", {}, {Element("e", data.Get())}, {}, {}};
    EXPECT_EQ(Load(HbfFile(root, 7, STORED)), nullptr);
}

namespace {

// A chunk kind that reads one byte of its data area and counts its Process calls.
int g_Processed = 0;
struct CountingChunk : CChunk {
    CountingChunk() : CChunk(150) {}
    bool ReadData(Stream* pStream) override {
        uint8_t byte;
        return pStream->Read(&byte, 1) == 1 && (m_First = byte, true);
    }
    void Process() override { ++g_Processed; }
    uint8_t m_First = 0;
};

} // namespace

TEST(ChunkTree, CustomChunkKinds) {
    CChunkTypes::m_Global.RegisterCustomChunk(150, [] () -> CChunk* { return new CountingChunk(); });
    CChunkTypes::m_Global.RegisterCustomChunk(1500, [] () -> CChunk* { return nullptr; });
    std::unique_ptr<CChunk> made(CChunkTypes::m_Global._Create(150));
    EXPECT_NE(dynamic_cast<CountingChunk*>(made.get()), nullptr);
    for (uint32_t type : {151u, 1500u, 99u}) {
        std::unique_ptr<CChunk> fallback(CChunkTypes::m_Global._Create(type));
        EXPECT_NE(dynamic_cast<CDataChunk*>(fallback.get()), nullptr) << type;
        EXPECT_EQ(fallback->GetType(), type);
        EXPECT_EQ(fallback->GetVersion(), HBF_CURRENT_VERSION);
    }

    g_Processed = 0;
    Node counting{150, "c", HexBytes("2A 00 00 00"), {Element("inner", ElementData("in"))}, {}, {}};
    Node root{CHUNK_ROOT, "", {}, {Element("top", ElementData(""), {counting})}, {}, {}};
    std::unique_ptr<CElementChunk> top = Load(HbfFile(root, 7, STORED));
    ASSERT_TRUE(top);
    auto* chunk = dynamic_cast<CountingChunk*>(top->FindChunk(150, 0));
    ASSERT_NE(chunk, nullptr);
    EXPECT_EQ(chunk->m_First, 0x2A);
    ASSERT_EQ(chunk->GetChildCount(), 1u);
    EXPECT_STREQ(CElementChunk::FromChunk(chunk->GetChild(0))->GetText(), "in");
    EXPECT_EQ(g_Processed, 1);
}

TEST(ChunkTree, XmlTextAndChildren) {
    struct Case {
        const char* xml;
        const char* text;
        std::vector<std::string> children;
    } cases[] = {
        {"<e>a<b/>c</e>", "a", {"b"}},                      // later text is not kept
        {"<e><b/>c</e>", "", {"b"}},                         // a child first: no text
        {"<e><![CDATA[x<y]]><b/></e>", "x<y", {"b"}},       // CDATA counts as text
        {"<e>\n  <b/>\n  <c></c>\n</e>", "", {"b", "c"}},   // layout whitespace is no text
        {"<?xml version=\"1.0\"?><!-- note --><e><!-- c --><b/></e>", "", {"b"}},
        {"<e>&lt;&amp;&#65;</e>", "<&A", {}},
        {"\xEF\xBB\xBF<e>bom</e>", "bom", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        std::unique_ptr<CElementChunk> top = LoadText(c.xml);
        ASSERT_TRUE(top);
        EXPECT_EQ(top->GetName(), "e");
        EXPECT_STREQ(top->GetText(), c.text);
        EXPECT_EQ(top->GetVersion(), HBF_CURRENT_VERSION);
        std::vector<std::string> names;
        for (size_t i = 0; i < top->GetChildCount(); ++i) {
            CChunk* child = top->GetChild(i);
            EXPECT_EQ(child->GetIndex(), i);
            EXPECT_EQ(child->GetParent(), top.get());
            EXPECT_EQ(child->GetType(), static_cast<uint32_t>(CHUNK_ELEMENT));
            names.push_back(child->GetName());
        }
        EXPECT_EQ(names, c.children);
    }

    // UTF-16 little-endian text (each unit keeps its low byte).
    std::string utf16 = "\xFF\xFE";
    for (char ch : std::string("<e>wide</e>")) utf16 += std::string{ch, '\0'};
    std::unique_ptr<CElementChunk> wide = LoadText(utf16);
    ASSERT_TRUE(wide);
    EXPECT_STREQ(wide->GetText(), "wide");
}

TEST(ChunkTree, XmlAttributesAndLookups) {
    std::unique_ptr<CElementChunk> top =
        LoadText("<config a=\"1\" b=\"two\" a=\"3\"><modules><module src=\"m\"/></modules><cvar/></config>");
    ASSERT_TRUE(top);
    const CArgumentMap& attributes = top->GetAttributes();
    EXPECT_EQ(attributes.GetCount(), 2u);
    EXPECT_STREQ(top->Attribute("a"), "3"); // a repeated name replaces the earlier value
    EXPECT_STREQ(top->Attribute("b"), "two");
    for (const auto& [name, value] : attributes) EXPECT_EQ(value->GetType(), ARGUMENT_STRING) << name;

    CElementChunk* modules = CElementChunk::FromChunk(top->FindChunk(CHUNK_ELEMENT, 0, "Modules"));
    ASSERT_NE(modules, nullptr);
    EXPECT_EQ(modules->FindElement()->Attribute("SRC"), nullptr);
    EXPECT_STREQ(modules->FindElement()->Attribute("src"), "m");
    EXPECT_EQ(top->FindChunk(CHUNK_ELEMENT, 1, "modules"), nullptr); // the search starts at index 1
    EXPECT_EQ(top->FindChunk(CHUNK_ELEMENT, 1)->GetName(), "cvar");
}

TEST(ChunkTree, TextWithoutARootElementYieldsNull) {
    const std::string texts[] = {"", "just text", "<!-- only a comment -->", "<a><b></a>", "<a",
                                 std::string("\xFE\xFF\x00<\x00" "a\x00/\x00>", 10)}; // UTF-16 big-endian is not read
    for (const std::string& text : texts) EXPECT_EQ(LoadText(text), nullptr) << text;
}

TEST(ChunkTree, OrphanAndDestructionDetach) {
    std::unique_ptr<CElementChunk> top = LoadText("<p><a/><b/><c/><d/></p>");
    ASSERT_TRUE(top);
    CChunk* b = top->GetChild(1);
    b->Orphan();
    EXPECT_EQ(b->GetParent(), nullptr);
    EXPECT_EQ(b->GetIndex(), 0u);
    ASSERT_EQ(top->GetChildCount(), 3u);
    EXPECT_EQ(top->GetChild(1)->GetName(), "c");
    EXPECT_EQ(top->GetChild(1)->GetIndex(), 1u);
    EXPECT_EQ(top->GetChild(2)->GetIndex(), 2u);
    b->Orphan(); // a detached chunk stays unchanged
    delete b;

    delete top->GetChild(0); // destroying a child takes it out of its parent's list
    ASSERT_EQ(top->GetChildCount(), 2u);
    EXPECT_EQ(top->GetChild(0)->GetName(), "c");
    EXPECT_EQ(top->GetChild(0)->GetIndex(), 0u);

    top->AddChild(new CDataChunk());
    EXPECT_EQ(top->GetChild(2)->GetParent(), top.get());
    EXPECT_EQ(top->GetChild(2)->GetIndex(), 2u);
}
