#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

// Banned addresses (the transport's numeric text, exact match) with their expiry in milliseconds since
// the process started; 0 never expires. Kept in memory only.
class CBanList {
public:
    void Ban(const std::string& address, uint32_t durationMs, uint32_t now);
    bool Unban(const std::string& address) { return m_Bans.erase(address) > 0; }
    void UnbanAll() { m_Bans.clear(); }
    // An expired entry is removed by the check that finds it expired.
    bool IsBanned(const std::string& address, uint32_t now);

private:
    std::unordered_map<std::string, uint32_t> m_Bans;
};
