#pragma once
#include <string>
#include <utility>
#include <vector>

// The server rules: ordered (name, value) pairs with case-sensitive names, published to server browsers.
class CRules {
public:
    // Replaces the value of an existing rule, otherwise appends the rule.
    void SetRule(const std::string& name, const std::string& value);
    const std::string* GetRule(const std::string& name) const;
    const std::vector<std::pair<std::string, std::string>>& GetRules() const { return m_Rules; }

private:
    std::vector<std::pair<std::string, std::string>> m_Rules;
};
