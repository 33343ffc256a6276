// The XML interface: loading a document, the element view (name, text, attributes, children, parent),
// the attribute getters, clearing, and elements that outlive their document.
#include "ScriptingTestUtil.h"

#include "Engine/MemoryStream.h"
#include "Scripting/XmlInterface.h"

#include <gtest/gtest.h>

using namespace Tessera3D;
using namespace ScriptingTest;

namespace {

Strong<Stream> TextStream(const std::string& text) {
    auto pCopy = MakeStrong<CUnlimitedStream>();
    pCopy->Write(text.data(), text.size());
    pCopy->Seek(0, SEEK_ORIGIN_BEGIN);
    return pCopy;
}

const char kDocument[] = R"(<settings version="2">
  <!-- comments are dropped -->
  <item name="alpha" on="true" count="12abc" ratio=" 2.5x" neg=" -7" big="4294967297" word="yes" one="1" zero="0" off="false" empty="">first text</item>
  <item name="beta"><inner/></item>
  <other/>
</settings>)";

class XmlTest : public ::testing::Test {
protected:
    XmlTest() {
        m_pDocument = Strong<CXmlDocument>::Adopt(m_Xml.NewDocument());
        EXPECT_TRUE(m_pDocument->Load(TextStream(kDocument).Get()));
    }

    CXmlInterface m_Xml;
    Strong<CXmlDocument> m_pDocument;
};

} // namespace

TEST_F(XmlTest, TreeOfElements) {
    CXmlElement* pRoot = m_pDocument->GetRootElement();
    ASSERT_NE(pRoot, nullptr);
    EXPECT_EQ(pRoot->GetName(), "settings");
    EXPECT_EQ(pRoot->GetParent(), nullptr);
    ASSERT_EQ(pRoot->GetChildCount(), 3u);
    CXmlElement* pItem = pRoot->GetChildren()[0].Get();
    EXPECT_EQ(pItem->GetName(), "item");
    EXPECT_EQ(pItem->GetText(), "first text");
    EXPECT_EQ(pItem->GetParent(), pRoot);
    EXPECT_EQ(pRoot->GetChildren()[1]->GetChildren()[0]->GetName(), "inner");
    EXPECT_EQ(pRoot->GetChildren()[1]->GetChildren()[0]->GetParent(), pRoot->GetChildren()[1].Get());
    EXPECT_EQ(pRoot->GetChildren()[2]->GetChildCount(), 0u);

    Strong<CArgumentMap> pAttributes = Strong<CArgumentMap>::Adopt(pItem->CopyAttributes());
    EXPECT_EQ(pAttributes->GetCount(), 11u);
    EXPECT_STREQ(pAttributes->Get("name")->ToString(), "alpha");
    pAttributes->Clear();
    EXPECT_EQ(Strong<CArgumentMap>::Adopt(pItem->CopyAttributes())->GetCount(), 11u) << "a copy";
}

TEST_F(XmlTest, AttributeGetters) {
    CXmlElement* pItem = m_pDocument->GetRootElement()->GetChildren()[0].Get();
    enum eKind { STRING, BOOL, INTEGER, FLOAT };
    struct Case {
        eKind kind;
        const char* name;
        bool ok = false;
        std::string text = "";
        bool boolean = false;
        int32_t integer = 0;
        float number = 0.0f;
    } cases[] = {
        {STRING, "name", true, "alpha"},
        {STRING, "empty", true, ""},
        {STRING, "Name", false},        // names match exactly
        {STRING, "missing", false},
        {BOOL, "on", true, "", true},
        {BOOL, "one", true, "", true},
        {BOOL, "zero", true, "", false},
        {BOOL, "off", true, "", false},
        {BOOL, "word", false},          // not one of the four spellings: as if missing
        {BOOL, "empty", false},
        {BOOL, "missing", false},
        {INTEGER, "count", true, "", false, 12},   // digits, then letters
        {INTEGER, "word", true, "", false, 0},     // no leading digits
        {INTEGER, "neg", true, "", false, -7},     // leading blanks and a sign
        {INTEGER, "big", true, "", false, 1},      // truncated to 32 bits
        {INTEGER, "missing", false},
        {FLOAT, "ratio", true, "", false, 0, 2.5f},
        {FLOAT, "word", true, "", false, 0, 0.0f},
        {FLOAT, "missing", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "unchanged";
        bool boolean = !c.boolean;
        int32_t integer = -99;
        float number = -99.0f;
        switch (c.kind) {
        case STRING:
            EXPECT_EQ(pItem->GetStringAttribute(c.name, text), c.ok);
            if (c.ok) {
                EXPECT_EQ(text, c.text);
            }
            break;
        case BOOL:
            EXPECT_EQ(pItem->GetBoolAttribute(c.name, boolean), c.ok);
            if (c.ok) {
                EXPECT_EQ(boolean, c.boolean);
            }
            break;
        case INTEGER:
            EXPECT_EQ(pItem->GetIntegerAttribute(c.name, integer), c.ok);
            if (c.ok) {
                EXPECT_EQ(integer, c.integer);
            }
            break;
        case FLOAT:
            EXPECT_EQ(pItem->GetFloatAttribute(c.name, number), c.ok);
            if (c.ok) {
                EXPECT_FLOAT_EQ(number, c.number);
            }
            break;
        }
    }
}

TEST_F(XmlTest, FailedLoadKeepsTheRootAndElementsOutliveTheirDocument) {
    Strong<CXmlElement> pRoot = m_pDocument->GetRootElement();
    EXPECT_FALSE(m_pDocument->Load(TextStream("not a document <").Get()));
    EXPECT_FALSE(m_pDocument->Load(TextStream("").Get()));
    EXPECT_FALSE(m_pDocument->Load(nullptr));
    EXPECT_EQ(m_pDocument->GetRootElement(), pRoot.Get());

    Strong<CXmlElement> pInner = pRoot->GetChildren()[1]->GetChildren()[0];
    EXPECT_TRUE(m_pDocument->Load(TextStream("<other a=\"1\"/>").Get()));
    EXPECT_NE(m_pDocument->GetRootElement(), pRoot.Get());
    EXPECT_EQ(m_pDocument->GetRootElement()->GetName(), "other");
    m_pDocument = nullptr;
    pRoot = nullptr;
    // The inner element still reads its own chunk; its parent went with the rest.
    EXPECT_EQ(pInner->GetName(), "inner");
    EXPECT_EQ(pInner->GetParent(), nullptr);
}

TEST_F(XmlTest, ClearDetachesTheChildren) {
    CXmlElement* pRoot = m_pDocument->GetRootElement();
    Strong<CXmlElement> pBeta = pRoot->GetChildren()[1];
    pRoot->Clear();
    EXPECT_EQ(pRoot->GetChildCount(), 0u);
    EXPECT_EQ(pRoot->GetChunk()->GetChildCount(), 0u);
    EXPECT_EQ(pBeta->GetParent(), nullptr) << "a child a script kept is a free element now";
    m_pDocument = nullptr;
    ASSERT_EQ(pBeta->GetChildCount(), 1u);
    EXPECT_EQ(pBeta->GetChildren()[0]->GetName(), "inner");
    EXPECT_EQ(pBeta->GetChildren()[0]->GetParent(), pBeta.Get());

    Strong<CXmlElement> pFree = Strong<CXmlElement>::Adopt(m_Xml.NewElement());
    EXPECT_EQ(pFree->GetName(), "");
    EXPECT_EQ(pFree->GetChildCount(), 0u);
    pFree->Clear();
}
