#pragma once
// What the game's elements need from the game layer that owns them: which game is served (GTA IV
// payloads differ), the vehicle colour table, the server's default stream distances and its script
// events.
#include <cstdint>

namespace Tessera3D { class CArgumentArray; }
class CVehicleColours;

class IGameElementHost {
public:
    virtual int32_t GetGame() const = 0;
    bool IsGameIV() const { return GetGame() == 5; }
    virtual CVehicleColours* GetVehicleColours() = 0;
    // Distances given to elements when they are made; pickups have their own.
    virtual float GetStreamInDistance() const = 0;
    virtual float GetStreamOutDistance() const = 0;
    virtual float GetPickupStreamInDistance() const = 0;
    virtual float GetPickupStreamOutDistance() const = 0;
    // Raises a script event; false when a handler cancelled it.
    virtual bool TriggerGameEvent(const char* name, Tessera3D::CArgumentArray& arguments) = 0;

protected:
    ~IGameElementHost() = default;
};
