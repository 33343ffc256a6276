#include "CVarSystem.h"

#include "Engine/Hash.h"

CVarSystem::CVar& CVarSystem::Set(const char* name, const char* value) {
    CVar& var = m_Vars[Tessera3D::CRC32Hash::NameKey(name)];
    if (var.m_Name.empty()) var.m_Name = name;
    var.m_Value = value;
    return var;
}

CVarSystem::CVar* CVarSystem::Find(const char* name) {
    auto it = m_Vars.find(Tessera3D::CRC32Hash::NameKey(name));
    return it == m_Vars.end() ? nullptr : &it->second;
}
