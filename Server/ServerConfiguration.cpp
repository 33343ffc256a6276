#include "ServerConfiguration.h"

#include "Engine/TesseraHBF.h"

#include <cstdlib>
#include <cstring>

using namespace Tessera3D;

std::string Truncate63(const std::string& text) { return text.substr(0, 63); }

CElementChunk* CServerConfiguration::FindElement(const char* name) const {
    if (!m_pRoot) return nullptr;
    return m_pRoot->FindElement(name);
}

const char* CServerConfiguration::GetText(const char* name) const {
    const CElementChunk* pElement = FindElement(name);
    if (!pElement) return nullptr;
    const char* text = pElement->GetText();
    return text && *text ? text : nullptr;
}

std::string CServerConfiguration::GetText63(const char* name, const char* defaultValue) const {
    return Truncate63(GetTextValue(name, defaultValue));
}

std::string CServerConfiguration::GetTextValue(const char* name, const char* defaultValue) const {
    const char* text = GetText(name);
    return text ? text : defaultValue;
}

std::string CServerConfiguration::GetElementTextOr(const char* name, const char* defaultValue) const {
    const CElementChunk* pElement = FindElement(name);
    if (!pElement) return defaultValue;
    const char* text = pElement->GetText();
    return text ? text : "";
}

bool CServerConfiguration::GetBoolValue(const char* name, bool defaultValue) const {
    const char* text = GetText(name);
    if (!text) return defaultValue;
    if (strcmp(text, "true") == 0 || strcmp(text, "1") == 0) return true;
    if (strcmp(text, "false") == 0 || strcmp(text, "0") == 0) return false;
    return defaultValue;
}

int32_t CServerConfiguration::GetIntValue(const char* name, int32_t defaultValue) const {
    const char* text = GetText(name);
    return text ? static_cast<int32_t>(strtol(text, nullptr, 10)) : defaultValue;
}

uint16_t CServerConfiguration::GetUInt16Value(const char* name, uint16_t defaultValue) const {
    const char* text = GetText(name);
    return text ? static_cast<uint16_t>(strtol(text, nullptr, 10)) : defaultValue;
}

float CServerConfiguration::GetFloatValue(const char* name, float defaultValue) const {
    const char* text = GetText(name);
    return text ? strtof(text, nullptr) : defaultValue;
}
