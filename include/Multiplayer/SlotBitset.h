#pragma once
// A fixed set of table slots kept as bits: membership in one step, and a walk in slot order that
// costs one word per 64 slots plus one step per member.
#include <array>
#include <cstddef>
#include <cstdint>

template <size_t N>
class CSlotBitset {
public:
    static constexpr size_t SIZE = N;
    static constexpr size_t WORDS = (N + 63) / 64;

    bool Test(size_t slot) const { return slot < N && (m_Words[slot / 64] >> (slot % 64) & 1) != 0; }
    void Set(size_t slot) {
        if (slot >= N || Test(slot)) return;
        m_Words[slot / 64] |= uint64_t(1) << (slot % 64);
        ++m_Count;
    }
    void Reset(size_t slot) {
        if (!Test(slot)) return;
        m_Words[slot / 64] &= ~(uint64_t(1) << (slot % 64));
        --m_Count;
    }
    void Clear() {
        m_Words.fill(0);
        m_Count = 0;
    }
    // Removes every member of the other set.
    void Subtract(const CSlotBitset& other) {
        for (size_t word = 0; word < WORDS; ++word) {
            const uint64_t removed = m_Words[word] & other.m_Words[word];
            if (!removed) continue;
            m_Words[word] &= ~removed;
            m_Count -= static_cast<size_t>(__builtin_popcountll(removed));
        }
    }
    size_t Count() const { return m_Count; }
    bool IsEmpty() const { return m_Count == 0; }

    // The lowest slot not in the set, or N when every slot is.
    size_t FindFirstClear() const {
        for (size_t word = 0; word < WORDS; ++word) {
            const uint64_t free = ~m_Words[word];
            if (free) {
                const size_t slot = word * 64 + static_cast<size_t>(__builtin_ctzll(free));
                return slot < N ? slot : N;
            }
        }
        return N;
    }

    // Calls fn(slot) for each member in ascending order. fn may change the set: a member it removes
    // further on is skipped, one it adds further on in the current word may be missed.
    template <typename Fn>
    void ForEach(Fn&& fn) const {
        for (size_t word = 0; word < WORDS; ++word) {
            for (uint64_t bits = m_Words[word]; bits; bits &= bits - 1) {
                const size_t bit = static_cast<size_t>(__builtin_ctzll(bits));
                if ((m_Words[word] >> bit & 1) == 0) continue;
                fn(word * 64 + bit);
            }
        }
    }

private:
    std::array<uint64_t, WORDS> m_Words{};
    size_t m_Count = 0;
};
