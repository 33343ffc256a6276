#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

// Console variables: names are case-insensitive (keyed by the CRC-32 of the lower-cased name); each
// entry keeps the name as first given, its value and whether scripts may change it.
class CVarSystem {
public:
    struct CVar {
        std::string m_Name;
        std::string m_Value;
        bool m_bReadOnly = false;
    };

    // Replaces the value of an existing entry or adds one; always succeeds.
    CVar& Set(const char* name, const char* value);
    CVar* Find(const char* name);
    const std::unordered_map<uint32_t, CVar>& GetAll() const { return m_Vars; }

private:
    std::unordered_map<uint32_t, CVar> m_Vars;
};
