#pragma once
// The table of named integer constants every script environment receives: built-in constants,
// constants of native modules and of the server, and the game's enum header parsed at start-up.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Tessera3D {

class Stream;

class CDefineHandlers {
public:
    struct tDefine {
        std::string m_Name;
        bool m_bUnsigned = false;
        uint32_t m_Value = 0;

        int32_t GetSigned() const { return static_cast<int32_t>(m_Value); }
        uint32_t GetUnsigned() const { return m_Value; }
    };

    // Append; duplicate names stay in the list (a consumer copying the list in order ends with the
    // last one). A null name is ignored.
    void Define(const char* name, int32_t value);
    void Define(const char* name, uint32_t value);

    // Parses the stream's enum declarations into signed definitions. The first error is logged as
    // "%s(%d): %s" (file name, line, message) and ends the file; definitions made before it stay.
    bool Process(Stream* pStream, const char* fileName);

    size_t GetCount() const { return m_Defines.size(); }
    const tDefine& Get(size_t index) const { return m_Defines[index]; }
    // The last definition of that name, or null.
    const tDefine* Find(const char* name) const;
    std::vector<tDefine>::const_iterator begin() const { return m_Defines.begin(); }
    std::vector<tDefine>::const_iterator end() const { return m_Defines.end(); }

private:
    std::vector<tDefine> m_Defines;
};

} // namespace Tessera3D
