#pragma once
// Finds the elements a client might stream in by area instead of walking the whole element table.
// It is built from the elements' positions and dimensions at the start of a streaming pass and only
// narrows the search: every element it names still takes the full stream-in test, so it only has to
// name every element that could pass. An element it leaves out is one that could not have been
// within its stream-in distance of the client's player when the pass began.
#include "Engine/Mathematics/Vector3D.h"

#include <cstdint>
#include <vector>

class CNetObject;

class CStreamingIndex {
public:
    // Stream-in distances above this (and positions that are not finite) make an element a candidate
    // everywhere, so a few far-reaching elements cannot blow up the cell size.
    static constexpr float MAX_INDEXED_DISTANCE = 2048.0f;

    void Clear();
    // Files one registered element under its slot; call in any order, then Finish.
    void Add(uint32_t slot, const CNetObject& element);
    // A slot every client must consider (an element registered after the index was built).
    void AddEverywhere(uint32_t slot) { m_Everywhere.push_back(slot); }
    void Finish();

    // Appends the candidate slots for a client (unsorted, possibly repeated): the elements near the
    // client's player in its dimension or on all dimensions (none without a position) and every
    // element streamed without distance.
    void Collect(const Tessera3D::CVector3D* pPlayerPosition, int32_t dimension, std::vector<uint32_t>& out) const;
    // Elements that exist for their syncer wherever it is; the caller picks those the client syncs.
    const std::vector<uint32_t>& GetSyncerExempt() const { return m_SyncerExempt; }

private:
    // Entries sort by (group, dimension), then by (cell x, cell y), each pair packed into one
    // unsigned key so that the order is that of the signed values.
    struct CEntry {
        uint64_t m_Area;  // group (0: in its dimension, 1: on all dimensions) and dimension
        uint64_t m_Cell;  // cell x and cell y
        float m_X, m_Y;   // where it stood
        float m_Reach;    // its stream-in distance
        uint32_t m_Slot;
    };
    static uint64_t AreaKey(uint8_t group, int32_t dimension);
    static uint64_t CellKey(int32_t cellX, int32_t cellY);

    int32_t CellOf(double coordinate) const;
    void CollectGroup(uint8_t group, int32_t dimension, const Tessera3D::CVector3D& position,
                      std::vector<uint32_t>& out) const;

    std::vector<CEntry> m_Cells;
    std::vector<uint32_t> m_Everywhere;
    std::vector<uint32_t> m_SyncerExempt;
    float m_Reach = 0.0f;
    float m_CellSize = 1.0f;
};
