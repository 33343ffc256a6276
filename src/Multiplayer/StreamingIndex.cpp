#include "Multiplayer/StreamingIndex.h"

#include "Multiplayer/NetObject.h"

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace Tessera3D;

namespace {

// Cells smaller than this gain nothing and only multiply the ranges a query walks.
constexpr float MIN_CELL_SIZE = 16.0f;

bool IsFinite(const CVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

} // namespace

void CStreamingIndex::Clear() {
    m_Cells.clear();
    m_Everywhere.clear();
    m_SyncerExempt.clear();
    m_Positions.clear();
    m_Reach = 0.0f;
    m_CellSize = MIN_CELL_SIZE;
}

void CStreamingIndex::Add(uint32_t slot, const CNetObject& element) {
    if (!element.HasFlag(NETOBJECT_NETWORKED)) return;
    if (!element.HasFlag(NETOBJECT_DISTANCE_STREAMING)) {
        m_Everywhere.push_back(slot);
        return;
    }
    if (element.HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER)) m_SyncerExempt.push_back(slot);
    CVector3D position;
    const float reach = element.GetStreamInDistance();
    // Without a finite position, or with a distance nothing is below, only the syncer exemption
    // can bring the element to a client.
    if (!element.GetPosition(position) || !IsFinite(position) || !(reach > 0.0f)) return;
    if (reach > MAX_INDEXED_DISTANCE) {
        m_Everywhere.push_back(slot);
        return;
    }
    const bool allDimensions = element.HasFlag(NETOBJECT_ON_ALL_DIMENSIONS);
    m_Cells.push_back({static_cast<uint8_t>(allDimensions ? 1 : 0), allDimensions ? 0 : element.GetStreamingDimension(), 0,
                       0, slot});
    m_Positions.push_back(position);
    m_Reach = std::max(m_Reach, reach);
}

int32_t CStreamingIndex::CellOf(double coordinate) const {
    const double cell = std::floor(coordinate / m_CellSize);
    if (!(cell > INT32_MIN)) return INT32_MIN;
    if (cell > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(cell);
}

void CStreamingIndex::Finish() {
    m_CellSize = std::max(m_Reach, MIN_CELL_SIZE);
    for (size_t i = 0; i < m_Cells.size(); ++i) {
        m_Cells[i].m_CellX = CellOf(m_Positions[i].x);
        m_Cells[i].m_CellY = CellOf(m_Positions[i].y);
    }
    m_Positions.clear();
    auto key = [](const CEntry& e) { return std::make_tuple(e.m_Group, e.m_Dimension, e.m_CellX, e.m_CellY, e.m_Slot); };
    std::sort(m_Cells.begin(), m_Cells.end(), [&](const CEntry& a, const CEntry& b) { return key(a) < key(b); });
    std::sort(m_Everywhere.begin(), m_Everywhere.end());
    std::sort(m_SyncerExempt.begin(), m_SyncerExempt.end());
}

void CStreamingIndex::CollectGroup(uint8_t group, int32_t dimension, const CVector3D& position,
                                   std::vector<uint32_t>& out) const {
    // Anything closer than the reach in three dimensions is closer in x and y alone; one unit more
    // absorbs rounding at the cell borders.
    const double margin = static_cast<double>(m_Reach) + 1.0;
    const int32_t minX = CellOf(position.x - margin), maxX = CellOf(position.x + margin);
    const int32_t minY = CellOf(position.y - margin), maxY = CellOf(position.y + margin);
    for (int64_t x = minX; x <= maxX; ++x) {
        const int32_t cellX = static_cast<int32_t>(x);
        auto it = std::lower_bound(m_Cells.begin(), m_Cells.end(), std::make_tuple(group, dimension, cellX, minY),
                                   [](const CEntry& e, const std::tuple<uint8_t, int32_t, int32_t, int32_t>& k) {
                                       return std::make_tuple(e.m_Group, e.m_Dimension, e.m_CellX, e.m_CellY) < k;
                                   });
        for (; it != m_Cells.end() && it->m_Group == group && it->m_Dimension == dimension && it->m_CellX == cellX &&
               it->m_CellY <= maxY;
             ++it)
            out.push_back(it->m_Slot);
    }
}

void CStreamingIndex::Collect(const CVector3D* pPlayerPosition, int32_t dimension, std::vector<uint32_t>& out) const {
    if (pPlayerPosition && IsFinite(*pPlayerPosition)) {
        CollectGroup(0, dimension, *pPlayerPosition, out);
        CollectGroup(1, 0, *pPlayerPosition, out);
    }
    out.insert(out.end(), m_Everywhere.begin(), m_Everywhere.end());
}
