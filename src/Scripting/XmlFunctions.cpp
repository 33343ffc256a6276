// The script classes XmlElement and XmlDocument.
#include "Scripting/XmlInterface.h"

#include "Engine/ArgumentArray.h"
#include "Engine/NativeState.h"
#include "Engine/ReflectedNamespace.h"

namespace Tessera3D {

namespace {

CXmlInterface* Interface(void* pUser) { return static_cast<CXmlInterface*>(pUser); }

template <typename T>
T* GetThisAs(CNativeState* pState, ReflectedClass* pClass) {
    CBaseObject* pObject = nullptr;
    if (!pState->GetThis(pClass, &pObject)) return nullptr;
    T* pResult = dynamic_cast<T*>(pObject);
    if (!pResult) pState->Error("%s expected for 'this'", pClass->GetName());
    return pResult;
}

CXmlElement* GetElement(CNativeState* pState, void* pUser) {
    return GetThisAs<CXmlElement>(pState, Interface(pUser)->GetElementClass());
}

CXmlDocument* GetDocument(CNativeState* pState, void* pUser) {
    return GetThisAs<CXmlDocument>(pState, Interface(pUser)->GetDocumentClass());
}

bool ConstructElement(CNativeState* pState, int, void* pUser) {
    Strong<CXmlElement> pElement = Strong<CXmlElement>::Adopt(Interface(pUser)->NewElement());
    pState->m_RVal.AddObject(pElement.Get());
    return true;
}

bool GetName(CNativeState* pState, int, void* pUser) {
    CXmlElement* pElement = GetElement(pState, pUser);
    if (!pElement) return false;
    pState->m_RVal.AddString(pElement->GetName().data(), pElement->GetName().size());
    return true;
}

bool GetText(CNativeState* pState, int, void* pUser) {
    CXmlElement* pElement = GetElement(pState, pUser);
    if (!pElement) return false;
    pState->m_RVal.AddString(pElement->GetText().data(), pElement->GetText().size());
    return true;
}

bool GetAttributes(CNativeState* pState, int, void* pUser) {
    CXmlElement* pElement = GetElement(pState, pUser);
    if (!pElement) return false;
    pState->m_RVal.Append(pElement->CopyAttributes());
    return true;
}

bool GetChildrenCount(CNativeState* pState, int, void* pUser) {
    CXmlElement* pElement = GetElement(pState, pUser);
    if (!pElement) return false;
    pState->m_RVal.AddNumber(static_cast<int64_t>(pElement->GetChildCount()));
    return true;
}

bool GetChildren(CNativeState* pState, int, void* pUser) {
    CXmlElement* pElement = GetElement(pState, pUser);
    if (!pElement) return false;
    auto* pArray = new CArgumentArray(pElement->GetChildCount());
    for (const Strong<CXmlElement>& pChild : pElement->GetChildren()) pArray->AddObject(pChild.Get());
    pState->m_RVal.Append(pArray);
    return true;
}

bool GetParent(CNativeState* pState, int, void* pUser) {
    CXmlElement* pElement = GetElement(pState, pUser);
    if (!pElement) return false;
    pState->m_RVal.AddObject(pElement->GetParent());
    return true;
}

bool Clear(CNativeState* pState, int, void* pUser) {
    CXmlElement* pElement = GetElement(pState, pUser);
    if (!pElement) return false;
    pElement->Clear();
    return true;
}

// The element and the attribute name of a getter call.
CXmlElement* GetAttributeCall(CNativeState* pState, void* pUser, const char*& name) {
    CXmlElement* pElement = GetElement(pState, pUser);
    if (!pElement) return nullptr;
    name = pState->CheckString(0);
    return name ? pElement : nullptr;
}

bool GetStringAttribute(CNativeState* pState, int, void* pUser) {
    const char* name = nullptr;
    CXmlElement* pElement = GetAttributeCall(pState, pUser, name);
    if (!pElement) return false;
    std::string value;
    if (!pElement->GetStringAttribute(name, value)) return pState->Error("attribute %s doesn't exist", name);
    pState->m_RVal.AddString(value.data(), value.size());
    return true;
}

bool GetBoolAttribute(CNativeState* pState, int, void* pUser) {
    const char* name = nullptr;
    CXmlElement* pElement = GetAttributeCall(pState, pUser, name);
    if (!pElement) return false;
    bool value = false;
    if (!pElement->GetBoolAttribute(name, value)) return pState->Error("attribute %s doesn't exist", name);
    pState->m_RVal.AddBoolean(value);
    return true;
}

bool GetIntegerAttribute(CNativeState* pState, int, void* pUser) {
    const char* name = nullptr;
    CXmlElement* pElement = GetAttributeCall(pState, pUser, name);
    if (!pElement) return false;
    int32_t value = 0;
    if (!pElement->GetIntegerAttribute(name, value)) return pState->Error("attribute %s doesn't exist", name);
    pState->m_RVal.AddNumber(value);
    return true;
}

bool GetFloatAttribute(CNativeState* pState, int, void* pUser) {
    const char* name = nullptr;
    CXmlElement* pElement = GetAttributeCall(pState, pUser, name);
    if (!pElement) return false;
    float value = 0.0f;
    if (!pElement->GetFloatAttribute(name, value)) return pState->Error("attribute %s doesn't exist", name);
    pState->m_RVal.AddNumber(value);
    return true;
}

bool ConstructDocument(CNativeState* pState, int, void* pUser) {
    Strong<CXmlDocument> pDocument = Strong<CXmlDocument>::Adopt(Interface(pUser)->NewDocument());
    pState->m_RVal.AddObject(pDocument.Get());
    return true;
}

bool GetRootElement(CNativeState* pState, int, void* pUser) {
    CXmlDocument* pDocument = GetDocument(pState, pUser);
    if (!pDocument) return false;
    pState->m_RVal.AddObject(pDocument->GetRootElement());
    return true;
}

bool Load(CNativeState* pState, int, void* pUser) {
    CXmlDocument* pDocument = GetDocument(pState, pUser);
    if (!pDocument) return false;
    Stream* pStream = pState->CheckStream(0);
    if (!pStream) return false;
    pState->m_RVal.AddBoolean(pDocument->Load(pStream));
    return true;
}

} // namespace

void CXmlInterface::RegisterFunctions(ReflectedNamespace* pGlobal) {
    ReflectedClass* pElement = pGlobal->NewClass("XmlElement", nullptr);
    pElement->RegisterConstructor("t", ConstructElement, this);
    pElement->AddProperty(this, "name", ARGUMENT_STRING, GetName, nullptr);
    pElement->AddProperty(this, "text", ARGUMENT_STRING, GetText, nullptr);
    pElement->AddProperty(this, "attributes", ARGUMENT_MAP, GetAttributes, nullptr);
    pElement->AddProperty(this, "childrenCount", ARGUMENT_LONGINTEGER, GetChildrenCount, nullptr);
    pElement->AddProperty(this, "children", ARGUMENT_ARRAY, GetChildren, nullptr);
    pElement->AddProperty(this, "parent", ARGUMENT_OBJECT, GetParent, nullptr);
    pElement->RegisterFunction("clear", "t", Clear, this);
    pElement->RegisterFunction("getStringAttribute", "ts", GetStringAttribute, this);
    pElement->RegisterFunction("getBoolAttribute", "ts", GetBoolAttribute, this);
    pElement->RegisterFunction("getIntegerAttribute", "ts", GetIntegerAttribute, this);
    pElement->RegisterFunction("getFloatAttribute", "ts", GetFloatAttribute, this);

    ReflectedClass* pDocument = pGlobal->NewClass("XmlDocument", nullptr);
    pDocument->RegisterConstructor("t", ConstructDocument, this);
    pDocument->AddProperty(this, "rootElement", ARGUMENT_OBJECT, GetRootElement, nullptr);
    pDocument->RegisterFunction("load", "tx", Load, this);
    SetClasses(pDocument, pElement);
}

} // namespace Tessera3D
