#include "Rules.h"

void CRules::SetRule(const std::string& name, const std::string& value) {
    for (auto& rule : m_Rules) {
        if (rule.first == name) {
            rule.second = value;
            return;
        }
    }
    m_Rules.emplace_back(name, value);
}

const std::string* CRules::GetRule(const std::string& name) const {
    for (const auto& rule : m_Rules)
        if (rule.first == name) return &rule.second;
    return nullptr;
}
