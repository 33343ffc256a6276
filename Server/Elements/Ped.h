#pragma once
// People in the game world: peds that scripts or clients create, and (derived) the players' characters.
#include "Physical.h"

#include <vector>

class CServerVehicle;

enum eVehicleEnteringState : int32_t {
    VEHICLE_STATE_NONE = 0,
    VEHICLE_STATE_ENTERING = 1,
    VEHICLE_STATE_GETTING_IN = 2,
    VEHICLE_STATE_IN_VEHICLE = 3,
    VEHICLE_STATE_EXITING = 4,
};

class CServerPed : public CServerPhysical {
public:
    // Opaque sync blobs are at most this long.
    static constexpr size_t MAX_BLOB_LENGTH = 1024;
    static constexpr uint8_t MAX_SEAT = 8;

    CServerPed(CNetObjectMgr* pManager, IGameElementHost* pHost);

    // Both headings; the matrix turns with them.
    void SetHeading(float heading) override;
    float GetHeading() const override { return m_Heading; }

    int32_t GetPedType() const { return m_PedType; }
    void SetPedType(int32_t type) { m_PedType = type; }
    float GetHealth() const { return m_Health; }
    float GetArmour() const { return m_Armour; }
    uint16_t GetWeapon() const { return m_Weapon; }
    uint16_t GetWeaponAmmunition() const { return m_WeaponAmmunition; }
    uint16_t GetWeaponClipAmmunition() const { return m_WeaponClipAmmunition; }
    uint8_t GetWeaponState() const { return m_WeaponState; }
    bool IsWasted() const { return m_bWasted; }
    void SetWasted(bool wasted) { m_bWasted = wasted; }

    eVehicleEnteringState GetVehicleEnteringState() const { return m_VehicleState; }
    int32_t GetVehicleId() const { return m_VehicleId; }
    uint8_t GetSeat() const { return m_Seat; }
    // The vehicle the state refers to, when it still exists.
    CServerVehicle* GetVehicle() const;
    // Puts the ped into (or, with a null vehicle, out of) a vehicle and tells the clients that have the
    // ped. The ped's syncer first gets the vehicles it should have, so the vehicle exists there.
    void SetVehicleEnteringState(CServerVehicle* pVehicle, uint8_t seat, eVehicleEnteringState state);
    // Tells the clients; with current set the ped holds the weapon at once.
    void GiveWeapon(int32_t weapon, int32_t ammunition, bool current);
    // Raises OnPedSpawn.
    void OnSpawned();

    // While in a vehicle the ped exists exactly where the vehicle does.
    bool CanExistForMachine(CNetMachine* pMachine) const override;

    // Creation: the entity's, then int32 ped type.
    bool ReadCreatePacket(Tessera3D::Stream* pStream) override;
    bool WriteCreatePacket(Tessera3D::Stream* pStream) override;
    bool ReadSyncPacket(Tessera3D::Stream* pStream) override;
    bool WriteSyncPacket(Tessera3D::Stream* pStream) override;

protected:
    // One sync record of a ped, decoded whole before any of it is applied.
    struct CPedSync {
        int32_t m_RelayedValue = -1;
        Tessera3D::CVector3D m_Position;
        Tessera3D::CVector3D m_RelayedVector;
        Tessera3D::CVector3D m_Velocity;
        float m_Heading = 0.0f;
        float m_SecondHeading = 0.0f;
        float m_Health = 0.0f;
        uint8_t m_VehicleState = 0;
        int32_t m_VehicleId = -1;
        uint8_t m_Seat = 0;
        uint16_t m_Weapon = 0;
        uint16_t m_WeaponAmmunition = 0;
        uint16_t m_WeaponClipAmmunition = 0;
        uint8_t m_WeaponState = 0;
        float m_Armour = 0.0f;
        uint8_t m_RelayedByte = 0;
        std::vector<uint8_t> m_Blob;
    };
    bool WritePedSync(Tessera3D::CBinaryWriter& writer) const;
    // False for a short record or a blob longer than the limit.
    bool ReadPedSync(Tessera3D::CBinaryReader& reader, CPedSync& sync) const;
    // Stores the record and takes the seat it names in its vehicle.
    void ApplyPedSync(CPedSync& sync);

private:
    int32_t m_PedType = 0;
    float m_Heading = 0.0f;
    float m_SecondHeading = 0.0f;
    float m_Health = 100.0f;
    float m_Armour = 0.0f;
    uint8_t m_RelayedByte = 0;
    eVehicleEnteringState m_VehicleState = VEHICLE_STATE_NONE;
    int32_t m_VehicleId = INVALID_NETWORK_ID;
    uint8_t m_Seat = 0;
    uint16_t m_Weapon = 0;
    uint16_t m_WeaponAmmunition = 0;
    uint16_t m_WeaponClipAmmunition = 0;
    uint8_t m_WeaponState = 0;
    bool m_bWasted = false;
    int32_t m_RelayedValue = -1;
    Tessera3D::CVector3D m_RelayedVector;
    // The GTA IV sync blob, or the other games' extra blob: the games never use both.
    std::vector<uint8_t> m_IVBlob;
    std::vector<uint8_t> m_ExtraBlob;
};
