#include "Scripting/XmlInterface.h"

#include <cstdlib>
#include <cstring>

namespace Tessera3D {

bool StringToBoolean(const char* text, bool& value) {
    if (!text) return false;
    if (strcmp(text, "true") == 0 || strcmp(text, "1") == 0) {
        value = true;
        return true;
    }
    if (strcmp(text, "false") == 0 || strcmp(text, "0") == 0) {
        value = false;
        return true;
    }
    return false;
}

CXmlDocument* CXmlInterface::NewDocument() {
    auto* pDocument = new CXmlDocument(this);
    pDocument->SetReflectedClass(m_pDocumentClass);
    return pDocument;
}

CXmlElement* CXmlInterface::NewElement() {
    return new CXmlElement(this);
}

// ---------------------------------------------------------------------------------------------

CXmlElement::CXmlElement(CXmlInterface* pOwner) : m_pOwner(pOwner), m_pChunk(new CElementChunk()) {
    if (pOwner) SetReflectedClass(pOwner->GetElementClass());
    m_pTree = Strong<CXmlChunkTree>::Adopt(new CXmlChunkTree(m_pChunk));
}

CXmlElement::CXmlElement(CXmlInterface* pOwner, CXmlChunkTree* pTree, CElementChunk* pChunk, CXmlElement* pParent)
    : m_pOwner(pOwner), m_pTree(pTree), m_pChunk(pChunk), m_pParent(pParent) {
    if (pOwner) SetReflectedClass(pOwner->GetElementClass());
    BuildChildren();
}

void CXmlElement::BuildChildren() {
    for (CChunk* pChild : m_pChunk->GetChildren()) {
        // Only element chunks have a name, text and attributes to show.
        CElementChunk* pElement = CElementChunk::FromChunk(pChild);
        if (pElement)
            m_Children.push_back(Strong<CXmlElement>::Adopt(new CXmlElement(m_pOwner, m_pTree.Get(), pElement, this)));
    }
}

CArgumentMap* CXmlElement::CopyAttributes() const {
    CArgumentMap* pCopy = m_pChunk->GetAttributes().Clone();
    return pCopy ? pCopy : new CArgumentMap();
}

void CXmlElement::SetTree(CXmlChunkTree* pTree) {
    m_pTree = pTree;
    for (const Strong<CXmlElement>& pChild : m_Children) pChild->SetTree(pTree);
}

void CXmlElement::Clear() {
    // Children that scripts still hold keep their chunks in a tree of their own.
    for (const Strong<CXmlElement>& pChild : m_Children) {
        pChild->m_pChunk->Orphan();
        pChild->SetTree(Strong<CXmlChunkTree>::Adopt(new CXmlChunkTree(pChild->m_pChunk)).Get());
        pChild->m_pParent = nullptr;
    }
    m_Children.clear();
    // Whatever is left are chunks of other kinds.
    while (m_pChunk->GetChildCount() > 0) delete m_pChunk->GetChild(m_pChunk->GetChildCount() - 1);
}

bool CXmlElement::GetStringAttribute(const char* name, std::string& value) const {
    size_t length = 0;
    const char* text = name ? m_pChunk->Attribute(name, &length) : nullptr;
    if (!text) return false;
    value.assign(text, length);
    return true;
}

bool CXmlElement::GetBoolAttribute(const char* name, bool& value) const {
    const char* text = name ? m_pChunk->Attribute(name) : nullptr;
    return StringToBoolean(text, value);
}

bool CXmlElement::GetIntegerAttribute(const char* name, int32_t& value) const {
    const char* text = name ? m_pChunk->Attribute(name) : nullptr;
    if (!text) return false;
    value = static_cast<int32_t>(strtol(text, nullptr, 10));
    return true;
}

bool CXmlElement::GetFloatAttribute(const char* name, float& value) const {
    const char* text = name ? m_pChunk->Attribute(name) : nullptr;
    if (!text) return false;
    value = static_cast<float>(strtod(text, nullptr));
    return true;
}

// ---------------------------------------------------------------------------------------------

bool CXmlDocument::Load(Stream* pStream) {
    if (!pStream) return false;
    CElementChunk* pTop = CElementChunk::Load(pStream);
    if (!pTop) return false;
    Strong<CXmlChunkTree> pTree = Strong<CXmlChunkTree>::Adopt(new CXmlChunkTree(pTop));
    m_pRoot = Strong<CXmlElement>::Adopt(new CXmlElement(m_pOwner, pTree.Get(), pTop, nullptr));
    return true;
}

} // namespace Tessera3D
