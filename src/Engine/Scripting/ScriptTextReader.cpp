// The script class TextReader: text of a stream, whole, by line or by character.
#include "BuiltinAPI.h"

#include "Engine/ObjectValue.h"
#include "Engine/Scripting.h"

namespace Tessera3D {

static bool Construct(CNativeState* pState, int argumentCount, void* pUser) {
    Stream* pStream = pState->CheckStream(0);
    if (!pStream) return false;
    auto* pClass = static_cast<ReflectedClass*>(pUser);
    Strong<CTextReaderObject> pObject = MakeStrong<CTextReaderObject>(pClass, std::make_unique<CTextReader>(pStream));
    pState->m_RVal.AddObject(pObject.Get());
    return true;
}

// 'this' as a text reader object; bOpen also requires that it was not closed.
static CTextReaderObject* GetReader(CNativeState* pState, void* pUser, bool bOpen) {
    auto* pClass = static_cast<ReflectedClass*>(pUser);
    CBaseObject* pObject = nullptr;
    if (!pState->GetThis(pClass, &pObject)) return nullptr;
    auto* pReader = dynamic_cast<CTextReaderObject*>(pObject);
    if (!pReader) {
        pState->Error("%s expected for 'this'", pClass->GetName());
        return nullptr;
    }
    if (bOpen && !pReader->m_Value) {
        pState->Error("TextReader is closed");
        return nullptr;
    }
    return pReader;
}

static bool Close(CNativeState* pState, int argumentCount, void* pUser) {
    CTextReaderObject* pReader = GetReader(pState, pUser, false);
    if (!pReader) return false;
    pReader->m_Value.reset();
    return true;
}

static bool LoadText(CNativeState* pState, int argumentCount, void* pUser) {
    CTextReaderObject* pReader = GetReader(pState, pUser, true);
    if (!pReader) return false;
    const std::string& text = pReader->m_Value->GetText();
    if (text.empty()) pState->m_RVal.AddNull();
    else pState->m_RVal.AddString(text.data(), text.size());
    return true;
}

static bool ReadLine(CNativeState* pState, int argumentCount, void* pUser) {
    CTextReaderObject* pReader = GetReader(pState, pUser, true);
    if (!pReader) return false;
    std::string line;
    if (ReadTextLine(pReader->m_Value.get(), line)) pState->m_RVal.AddString(line.data(), line.size());
    else pState->m_RVal.AddNull();
    return true;
}

static bool ReadCharacter(CNativeState* pState, int argumentCount, void* pUser) {
    CTextReaderObject* pReader = GetReader(pState, pUser, true);
    if (!pReader) return false;
    uint32_t codePoint = 0;
    if (pReader->m_Value->ReadCharacter(codePoint)) pState->m_RVal.AddNumber(static_cast<int32_t>(codePoint));
    else pState->m_RVal.AddNull();
    return true;
}

ReflectedClass* RegisterTextReaderClass(ReflectedNamespace* pGlobal) {
    ReflectedClass* pClass = pGlobal->NewClass("TextReader", nullptr);
    pClass->RegisterConstructor("tx", Construct, pClass);
    pClass->RegisterFunction("close", "t", Close, pClass);
    pClass->RegisterFunction("loadText", "t", LoadText, pClass);
    pClass->RegisterFunction("readLine", "t", ReadLine, pClass);
    pClass->RegisterFunction("readCharacter", "t", ReadCharacter, pClass);
    return pClass;
}

} // namespace Tessera3D
