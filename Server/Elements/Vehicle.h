#pragma once
// Vehicles: colours, locks, engine, health and damage, and the peds sitting in them.
#include "Physical.h"
#include "VehicleDamage.h"

#include <array>

class CServerPed;

class CServerVehicle : public CServerPhysical {
public:
    static constexpr uint8_t SEAT_COUNT = 9; // 0 driver, 1..8 passengers
    static constexpr int32_t LOCK_UNLOCKED = 1;
    static constexpr int32_t LOCK_LOCKED = 2;
    static constexpr float FULL_HEALTH = 1000.0f;

    CServerVehicle(CNetObjectMgr* pManager, IGameElementHost* pHost);

    // Also picks random colours for the new model (without telling anyone about them).
    void SetModelIndex(int32_t model) override;

    float GetHealth() const { return m_Health; }
    // Full health, and the clients repair it.
    void Fix();

    bool IsRGB() const { return m_bRGB; }
    uint8_t GetColour(int index) const { return m_Colours[static_cast<size_t>(index & 3)]; }
    uint32_t GetRGBColour(int index) const { return m_RGBColours[static_cast<size_t>(index & 3)]; }
    // Store colours without telling anyone; ApplyColourChanges sends them.
    void SetColours(const std::array<uint8_t, 4>& colours);
    void SetRGBColours(const std::array<uint32_t, 4>& colours);
    void ApplyColourChanges();
    // A combination from the colour table of the model; a warning when the model has none.
    void RandomiseColours();

    int32_t GetLockStatus() const { return m_LockStatus; }
    void SetDoorsLocked(int32_t status);
    bool GetEngine() const { return m_bEngine; }
    void SetEngine(bool on);
    bool GetStrongGrip() const { return m_bStrongGrip; }
    void SetStrongGrip(bool on) { m_bStrongGrip = on; }
    // The state the syncer toggles through its own message.
    bool GetToggle() const { return m_bToggle; }
    void SetToggle(bool on) { m_bToggle = on; }

    // The ped in the seat while that ped still says it sits there; null above seat 8.
    CServerPed* GetOccupant(uint8_t seat) const;
    void SetOccupant(uint8_t seat, CServerPed* pPed);
    bool HasOccupant() const;

    // An empty vehicle's sync goes nowhere.
    bool CanSendSync() const override;
    bool CanSendSync(CNetMachine* pMachine) const override;
    // Players and script peds inside get out; peds that clients created go with the vehicle.
    void Remove() override;

    // Creation: the entity's, uint32 flags (bit 0 strong grip, bit 1 RGB, bit 2 engine), uint8 lock
    // status, then 4 x uint32 ARGB colours (RGB) or 4 x uint8 palette colours.
    bool ReadCreatePacket(Tessera3D::Stream* pStream) override;
    bool WriteCreatePacket(Tessera3D::Stream* pStream) override;
    bool ReadSyncPacket(Tessera3D::Stream* pStream) override;
    bool WriteSyncPacket(Tessera3D::Stream* pStream) override;

private:
    struct CVehicleSync {
        uint32_t m_Flags = 0;
        float m_Health = 0.0f;
        std::array<float, 3> m_RelayedFloats{};
        bool m_bRelayedByte = false;
        int32_t m_RelayedInt = 0;
        CVehicleDamage m_Damage;
        uint8_t m_DamageExtras = 0;
        std::array<int32_t, 2> m_DamageExtraValues{};
    };
    bool WriteVehicleSync(Tessera3D::CBinaryWriter& writer) const;
    bool ReadVehicleSync(Tessera3D::CBinaryReader& reader, CVehicleSync& sync) const;

    float m_Health = FULL_HEALTH;
    std::array<float, 3> m_RelayedFloats{};
    bool m_bRelayedFlag = false;
    bool m_bStrongGrip = false;
    bool m_bEngine = false;
    bool m_bToggle = false;
    std::array<uint8_t, 4> m_Colours{};
    bool m_bRGB = false;
    std::array<uint32_t, 4> m_RGBColours{};
    int32_t m_LockStatus = LOCK_UNLOCKED;
    bool m_bRelayedByte = false;
    int32_t m_RelayedInt = 0;
    CVehicleDamage m_Damage;
    uint8_t m_DamageExtras = 0;
    std::array<int32_t, 2> m_DamageExtraValues{};
    std::array<Tessera3D::Weak<CNetObject>, SEAT_COUNT> m_Occupants; // peds
};
