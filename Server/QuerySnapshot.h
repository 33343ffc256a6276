#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What server browsers are told, copied from the live server by the main loop so the query handler
// (which may run on the network thread) never touches live state. Texts are cut to 255 characters.
struct CQuerySnapshot {
    uint8_t m_Game = 0;
    std::string m_ProductName = "Corvid";
    bool m_bPassword = false;
    std::string m_ServerName;
    std::string m_GameMode;
    std::string m_MapName;
    uint8_t m_Players = 0;
    uint8_t m_MaxPlayers = 0;
    std::vector<std::pair<uint8_t, std::string>> m_PlayerEntries;
    std::vector<std::pair<std::string, std::string>> m_Rules;
};
