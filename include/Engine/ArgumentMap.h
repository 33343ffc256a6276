#pragma once
// The string-keyed map of script values (id 18). Keys are exact byte strings. Entries iterate (and
// travel) in the order their keys were first set, which keeps written bytes deterministic.
#include "Engine/Argument.h"

#include <unordered_map>
#include <utility>

namespace Tessera3D {

class CArgumentMap : public CArgument {
public:
    using Entry = std::pair<std::string, Strong<CArgument>>;
    using Entries = std::vector<Entry>;

    explicit CArgumentMap(size_t reserve = 0);

    // Compressed count, then per entry: type byte, key (compressed length and bytes), payload. A later
    // entry with the same key replaces an earlier one. On failure the entries read so far stay.
    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    // Null when a value cannot be cloned.
    CArgumentMap* Clone() const override;

    // The value under the key (no additional reference), or null.
    CArgument* Get(const char* pKey) const { return pKey ? Get(std::string_view(pKey)) : nullptr; }
    CArgument* Get(std::string_view key) const;
    // Stores the value under the key and takes over the caller's reference; the previous value is
    // released. Setting the very value already stored changes nothing (no reference is taken over),
    // and an absent value is ignored.
    void Set(const char* pKey, CArgument* pValue) { if (pKey) Set(std::string_view(pKey), pValue); }
    void Set(std::string_view key, CArgument* pValue);
    // True when there was an entry.
    bool Remove(const char* pKey) { return pKey && Remove(std::string_view(pKey)); }
    bool Remove(std::string_view key);
    void Clear();

    size_t GetCount() const { return m_Entries.size(); }
    bool IsEmpty() const { return m_Entries.empty(); }
    const Entries& GetEntries() const { return m_Entries; }
    Entries::const_iterator begin() const { return m_Entries.begin(); }
    Entries::const_iterator end() const { return m_Entries.end(); }

private:
    void Reserve(size_t count);

    Entries m_Entries;
    std::unordered_map<std::string, size_t> m_Index; // key -> position in m_Entries
};

} // namespace Tessera3D
