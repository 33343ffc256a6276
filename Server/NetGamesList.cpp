#include "NetGamesList.h"

#include <strings.h>

void CNetGamesList::Register(int32_t id, const char* name) {
    if (m_Games.size() >= MAX_GAMES) return;
    m_Games.push_back({id, std::string(name).substr(0, 31)});
}

int32_t CNetGamesList::Find(const char* name) const {
    for (const Entry& game : m_Games)
        if (strcasecmp(game.m_Name.c_str(), name) == 0) return game.m_Id;
    return -1;
}

std::string CNetGamesList::GetName(int32_t id) const {
    for (const Entry& game : m_Games)
        if (game.m_Id == id) return game.m_Name;
    return std::string();
}
