#pragma once
// Typed reading of the configuration document: a key is the first child element of the root with
// that name (letter case ignored) and its value is the element's text.
#include <cstdint>
#include <memory>
#include <string>

namespace Tessera3D { class CElementChunk; }

class CServerConfiguration {
public:
    explicit CServerConfiguration(Tessera3D::CElementChunk* pRoot) : m_pRoot(pRoot) {}

    Tessera3D::CElementChunk* GetRoot() const { return m_pRoot; }
    Tessera3D::CElementChunk* FindElement(const char* name) const;

    // The key's text, or null when the element is missing or has no text.
    const char* GetText(const char* name) const;
    // Text kept in a 64-byte field: at most 63 characters.
    std::string GetText63(const char* name, const char* defaultValue) const;
    std::string GetTextValue(const char* name, const char* defaultValue) const;
    // The element's text even when empty; the default only when the element is missing.
    std::string GetElementTextOr(const char* name, const char* defaultValue) const;
    // "true"/"1" and "false"/"0" exactly; anything else gives the default.
    bool GetBoolValue(const char* name, bool defaultValue) const;
    // strtol base 10 (text that is no number gives 0).
    int32_t GetIntValue(const char* name, int32_t defaultValue) const;
    uint16_t GetUInt16Value(const char* name, uint16_t defaultValue) const;
    float GetFloatValue(const char* name, float defaultValue) const;

private:
    Tessera3D::CElementChunk* m_pRoot;
};

// Cuts a text to the 63 characters of a 64-byte field.
std::string Truncate63(const std::string& text);
