#pragma once
// The XML documents scripts read: XmlDocument loads an element tree from a stream with the engine's
// element-chunk reader; XmlElement is a read-only view of one element with its children.
//
// Every element object keeps the chunk tree it views alive, so an element a script keeps stays valid
// after its document is gone or has loaded another tree. Clearing an element's children detaches
// them: a child a script still holds becomes a free element that keeps its own subtree.
#include "Engine/ArgumentMap.h"
#include "Engine/BaseObject.h"
#include "Engine/References.h"
#include "Engine/Stream.h"
#include "Engine/TesseraHBF.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Tessera3D {

class ReflectedClass;
class ReflectedNamespace;
class CXmlElement;

class CXmlInterface {
public:
    // A document without root, and a free element with an empty chunk, of the classes scripts see.
    class CXmlDocument* NewDocument();
    CXmlElement* NewElement();

    // The script classes XmlElement and XmlDocument.
    void RegisterFunctions(ReflectedNamespace* pGlobal);

    ReflectedClass* GetDocumentClass() const { return m_pDocumentClass; }
    ReflectedClass* GetElementClass() const { return m_pElementClass; }
    void SetClasses(ReflectedClass* pDocumentClass, ReflectedClass* pElementClass) {
        m_pDocumentClass = pDocumentClass;
        m_pElementClass = pElementClass;
    }

private:
    ReflectedClass* m_pDocumentClass = nullptr;
    ReflectedClass* m_pElementClass = nullptr;
};

// Owns the top chunk of a tree; every element object viewing a chunk of the tree holds it.
class CXmlChunkTree : public CRefCounted {
public:
    explicit CXmlChunkTree(CElementChunk* pRoot) : m_pRoot(pRoot) {}
    ~CXmlChunkTree() override { delete m_pRoot; }

    CElementChunk* GetRoot() const { return m_pRoot; }

private:
    CElementChunk* m_pRoot;
};

class CXmlElement : public CBaseObject {
public:
    // A free element: an empty chunk of its own, no parent, no children.
    explicit CXmlElement(CXmlInterface* pOwner);
    // The element viewing a chunk of a tree, with the children list of the whole subtree built.
    CXmlElement(CXmlInterface* pOwner, CXmlChunkTree* pTree, CElementChunk* pChunk, CXmlElement* pParent);

    CXmlInterface* GetOwner() const { return m_pOwner; }
    CElementChunk* GetChunk() const { return m_pChunk; }
    const std::string& GetName() const { return m_pChunk->GetName(); }
    const std::string& GetText() const { return m_pChunk->GetTextString(); }
    // A copy of the attributes (one reference, owned by the caller).
    CArgumentMap* CopyAttributes() const;
    size_t GetChildCount() const { return m_Children.size(); }
    const std::vector<Strong<CXmlElement>>& GetChildren() const { return m_Children; }
    CXmlElement* GetParent() const { return m_pParent.Get(); }

    // Removes every child element (and every other child chunk).
    void Clear();

    // The attribute getters: false when the element has no such attribute (names match exactly), and
    // for a bool also when the value is not one of "true", "1", "false", "0".
    bool GetStringAttribute(const char* name, std::string& value) const;
    bool GetBoolAttribute(const char* name, bool& value) const;
    // Decimal as strtol reads it (leading blanks and a sign, up to the first other character; no
    // digits give 0), truncated to 32 bits.
    bool GetIntegerAttribute(const char* name, int32_t& value) const;
    bool GetFloatAttribute(const char* name, float& value) const;

private:
    void BuildChildren();
    // Moves this element and its subtree to another tree holder.
    void SetTree(CXmlChunkTree* pTree);

    CXmlInterface* m_pOwner;
    Strong<CXmlChunkTree> m_pTree;
    CElementChunk* m_pChunk;
    Weak<CXmlElement> m_pParent;
    std::vector<Strong<CXmlElement>> m_Children;
};

class CXmlDocument : public CBaseObject {
public:
    explicit CXmlDocument(CXmlInterface* pOwner) : m_pOwner(pOwner) {}

    CXmlInterface* GetOwner() const { return m_pOwner; }
    CXmlElement* GetRootElement() const { return m_pRoot.Get(); }
    // Reads an element tree from the stream; on success its top element becomes the new root. False,
    // with the old root kept, when the stream holds no document.
    bool Load(Stream* pStream);

private:
    CXmlInterface* m_pOwner;
    Strong<CXmlElement> m_pRoot;
};

// "true" and "1" are true, "false" and "0" false (exact spellings); false for anything else.
bool StringToBoolean(const char* text, bool& value);

} // namespace Tessera3D
