#include "Multiplayer/StreamingIndex.h"

#include "Multiplayer/NetObject.h"

#include <algorithm>
#include <cmath>

using namespace Tessera3D;

namespace {

// Cells smaller than this gain nothing and only multiply the ranges a query walks.
constexpr float MIN_CELL_SIZE = 16.0f;

bool IsFinite(const CVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Flipping the sign bit makes unsigned order follow signed order.
uint64_t Ordered(int32_t value) { return static_cast<uint32_t>(value) ^ 0x80000000u; }

} // namespace

uint64_t CStreamingIndex::AreaKey(uint8_t group, int32_t dimension) {
    return static_cast<uint64_t>(group) << 32 | Ordered(dimension);
}

uint64_t CStreamingIndex::CellKey(int32_t cellX, int32_t cellY) { return Ordered(cellX) << 32 | Ordered(cellY); }

void CStreamingIndex::Clear() {
    m_Cells.clear();
    m_Everywhere.clear();
    m_SyncerExempt.clear();
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
    m_Cells.push_back({AreaKey(allDimensions ? 1 : 0, allDimensions ? 0 : element.GetStreamingDimension()), 0,
                       position.x, position.y, reach, slot});
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
    for (CEntry& entry : m_Cells) entry.m_Cell = CellKey(CellOf(entry.m_X), CellOf(entry.m_Y));
    // Order within a cell does not matter: callers put the candidates in slot order.
    std::sort(m_Cells.begin(), m_Cells.end(), [](const CEntry& a, const CEntry& b) {
        return a.m_Area != b.m_Area ? a.m_Area < b.m_Area : a.m_Cell < b.m_Cell;
    });
    std::sort(m_Everywhere.begin(), m_Everywhere.end());
    std::sort(m_SyncerExempt.begin(), m_SyncerExempt.end());
}

void CStreamingIndex::CollectGroup(uint8_t group, int32_t dimension, const CVector3D& position,
                                   std::vector<uint32_t>& out) const {
    // Anything closer than its reach in three dimensions is closer in x and y alone; one unit more
    // absorbs rounding, at the cell borders and in the distance below.
    const double margin = static_cast<double>(m_Reach) + 1.0;
    const int32_t minX = CellOf(position.x - margin), maxX = CellOf(position.x + margin);
    const int32_t minY = CellOf(position.y - margin), maxY = CellOf(position.y + margin);
    const uint64_t area = AreaKey(group, dimension);
    // The entries of this group and dimension.
    const auto first = std::lower_bound(m_Cells.begin(), m_Cells.end(), area,
                                        [](const CEntry& e, uint64_t key) { return e.m_Area < key; });
    const auto last = std::upper_bound(first, m_Cells.end(), area,
                                       [](uint64_t key, const CEntry& e) { return key < e.m_Area; });
    for (int64_t x = minX; x <= maxX; ++x) {
        const uint64_t from = CellKey(static_cast<int32_t>(x), minY), to = CellKey(static_cast<int32_t>(x), maxY);
        auto it = std::lower_bound(first, last, from, [](const CEntry& e, uint64_t key) { return e.m_Cell < key; });
        for (; it != last && it->m_Cell <= to; ++it) {
            const double dx = static_cast<double>(it->m_X) - position.x, dy = static_cast<double>(it->m_Y) - position.y;
            const double reach = static_cast<double>(it->m_Reach) + 1.0;
            if (dx * dx + dy * dy < reach * reach) out.push_back(it->m_Slot);
        }
    }
}

void CStreamingIndex::Collect(const CVector3D* pPlayerPosition, int32_t dimension, std::vector<uint32_t>& out) const {
    if (pPlayerPosition && IsFinite(*pPlayerPosition)) {
        CollectGroup(0, dimension, *pPlayerPosition, out);
        CollectGroup(1, 0, *pPlayerPosition, out);
    }
    out.insert(out.end(), m_Everywhere.begin(), m_Everywhere.end());
}
