#include "Engine/DefineHandlers.h"

#include "Engine/SourceCodeParser.h"

#include <cstring>

namespace Tessera3D {

void CDefineHandlers::Define(const char* name, int32_t value) {
    if (!name) return;
    m_Defines.push_back(tDefine{name, false, static_cast<uint32_t>(value)});
}

void CDefineHandlers::Define(const char* name, uint32_t value) {
    if (!name) return;
    m_Defines.push_back(tDefine{name, true, value});
}

bool CDefineHandlers::Process(Stream* pStream, const char* fileName) {
    CSourceCodeParser parser;
    parser.RegisterStandardTypes();
    return parser.Assemble(pStream, fileName, this);
}

const CDefineHandlers::tDefine* CDefineHandlers::Find(const char* name) const {
    if (!name) return nullptr;
    for (auto it = m_Defines.rbegin(); it != m_Defines.rend(); ++it) {
        if (it->m_Name == name) return &*it;
    }
    return nullptr;
}

} // namespace Tessera3D
