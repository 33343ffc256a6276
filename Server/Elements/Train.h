#pragma once
// Trains follow their track; their syncer keeps them wherever it is, and they stream without distance.
#include "Vehicle.h"

class CServerTrain : public CServerVehicle {
public:
    CServerTrain(CNetObjectMgr* pManager, IGameElementHost* pHost);

    uint8_t GetTrack() const { return m_Track; }
    void SetTrack(uint8_t track) { m_Track = track; }
    float GetTrackPosition() const { return m_TrackPosition; }
    void SetTrackPosition(float position) { m_TrackPosition = position; }
    float GetSpeed() const { return m_Speed; }
    void SetSpeed(float speed) { m_Speed = speed; }
    bool IsDerailed() const { return m_bDerailed; }
    void SetDerailed(bool derailed) { m_bDerailed = derailed; }
    bool GetHeadlights() const { return m_bHeadlights; }
    void SetHeadlights(bool on) { m_bHeadlights = on; }
    bool GetTaillights() const { return m_bTaillights; }
    void SetTaillights(bool on) { m_bTaillights = on; }

    // Creation: the vehicle's, uint8 train flags (bit 0 first train, bit 1 derailed, bit 2
    // headlights, bit 3 taillights), uint8 track.
    bool ReadCreatePacket(Tessera3D::Stream* pStream) override;
    bool WriteCreatePacket(Tessera3D::Stream* pStream) override;
    // Sync: uint8 train flags, then the physical state when derailed, else float32 track position and
    // float32 speed. Only the derailed flag is taken from a client.
    bool ReadSyncPacket(Tessera3D::Stream* pStream) override;
    bool WriteSyncPacket(Tessera3D::Stream* pStream) override;

private:
    uint8_t GetTrainFlags() const;

    uint8_t m_Track = 0;
    bool m_bFirstTrain = false;
    bool m_bDerailed = false;
    bool m_bHeadlights = true;
    bool m_bTaillights = true;
    float m_TrackPosition = 0.0f;
    float m_Speed = 0.0f;
};
