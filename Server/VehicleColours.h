#pragma once
// The colour combinations each vehicle model may wear, loaded once for the configured game.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace Tessera3D { class Stream; }

struct CVehicleColourDefinition {
    // The colours are ARGB values instead of palette indices (never so for definitions from files).
    bool m_bRGB = false;
    int32_t m_Colours[4] = {0, 0, 0, 0};
};

class CVehicleColours {
public:
    using CDefinitions = std::vector<CVehicleColourDefinition>;

    // Lines are read into a buffer of this size; a longer line ends the file.
    static constexpr size_t LINE_BUFFER_SIZE = 128;

    // The model's definitions in file order; a model without any gets an empty list.
    CDefinitions& FindDefinitions(uint32_t model) { return m_Models[model]; }
    void Clear() { m_Models.clear(); }
    size_t GetModelCount() const { return m_Models.size(); }

    // Appends the definitions of a table text; bad lines are logged and skipped.
    void Load(Tessera3D::Stream* pStream);
    // The table of a game from the run context's file system; false for a game without a table or
    // when its file cannot be opened.
    bool LoadForGame(int32_t game);
    // The virtual path of a game's table, or null.
    static const char* GetPath(int32_t game);

private:
    std::unordered_map<uint32_t, CDefinitions> m_Models;
};
