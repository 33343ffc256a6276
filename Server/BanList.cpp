#include "BanList.h"

void CBanList::Ban(const std::string& address, uint32_t durationMs, uint32_t now) {
    m_Bans[address] = durationMs == 0 ? 0 : now + durationMs;
}

bool CBanList::IsBanned(const std::string& address, uint32_t now) {
    auto it = m_Bans.find(address);
    if (it == m_Bans.end()) return false;
    if (it->second == 0) return true;
    if (now >= it->second) {
        m_Bans.erase(it);
        return false;
    }
    return true;
}
