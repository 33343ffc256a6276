#pragma once
// Intrusive, atomic reference counting: the root of every shared engine object.
#include <atomic>
#include <cstdint>

namespace Tessera3D {

class CBase {
public:
    virtual ~CBase() = default;
};

class CRefCounted : public CBase {
public:
    CRefCounted() = default;
    CRefCounted(const CRefCounted&) = delete;
    CRefCounted& operator=(const CRefCounted&) = delete;

    virtual int32_t GetRefCount() const { return m_RefCount.load(std::memory_order_acquire); }
    virtual int32_t AddRef() { return m_RefCount.fetch_add(1, std::memory_order_acq_rel) + 1; }
    // Destroys the object when the last reference goes; returns the new count.
    virtual int32_t Release();

protected:
    // Subtracts one and returns the count before the subtraction.
    int32_t DecrementRef() { return m_RefCount.fetch_sub(1, std::memory_order_acq_rel); }

private:
    std::atomic<int32_t> m_RefCount{1};
};

} // namespace Tessera3D
