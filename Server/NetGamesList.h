#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The games a server can run, by name and id; at most 32 entries.
class CNetGamesList {
public:
    static constexpr size_t MAX_GAMES = 32;

    // Ignored once the list is full; names keep at most 31 characters.
    void Register(int32_t id, const char* name);
    // Case-insensitive lookup; -1 for an unknown name.
    int32_t Find(const char* name) const;
    // The name registered for an id; empty when none.
    std::string GetName(int32_t id) const;

private:
    struct Entry {
        int32_t m_Id;
        std::string m_Name;
    };
    std::vector<Entry> m_Games;
};
