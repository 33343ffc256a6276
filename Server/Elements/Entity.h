#pragma once
// Elements with a transformation matrix: peds, players, vehicles, trains, objects and buildings. The
// position is the matrix's fourth row.
#include "GameElementHost.h"

#include "Engine/Mathematics/Matrix4x4.h"
#include "Multiplayer/NetObject.h"

namespace Tessera3D { class CBinaryReader; class CBinaryWriter; }

class CServerEntity : public CNetObject {
public:
    // Entities stream by distance and want a syncer; the server's distances apply.
    CServerEntity(CNetObjectMgr* pManager, IGameElementHost* pHost);

    bool SetPosition(const Tessera3D::CVector3D& position) override;
    bool GetPosition(Tessera3D::CVector3D& position) const override;
    // Euler angles in radians: X first, then Y, then Z.
    bool SetRotation(const Tessera3D::CVector3D& rotation) override;
    bool GetRotation(Tessera3D::CVector3D& rotation) const override;
    virtual float GetHeading() const;
    // A rotation about z only; the position stays.
    virtual void SetHeading(float heading);

    const Tessera3D::CMatrix4x4& GetMatrix() const { return m_Matrix; }
    void SetMatrix(const Tessera3D::CMatrix4x4& matrix) { m_Matrix = matrix; }

    int32_t GetModelIndex() const { return m_ModelIndex; }
    // Stores the model and, once registered, tells the clients that have the element.
    virtual void SetModelIndex(int32_t model);
    uint8_t GetInterior() const { return m_Interior; }
    void SetInterior(uint8_t interior);

    // Set for elements a client created itself.
    uint8_t GetCreationKind() const { return m_CreationKind; }
    void SetCreationKind(uint8_t kind) { m_CreationKind = kind; }
    int32_t GetClientSideId() const { return m_ClientSideId; }
    void SetClientSideId(int32_t id) { m_ClientSideId = id; }

    // Creation: the base record, int32 model, uint8 interior, uint8 creation kind.
    bool ReadCreatePacket(Tessera3D::Stream* pStream) override;
    bool WriteCreatePacket(Tessera3D::Stream* pStream) override;
    // Sync: the matrix.
    bool ReadSyncPacket(Tessera3D::Stream* pStream) override;
    bool WriteSyncPacket(Tessera3D::Stream* pStream) override;

protected:
    // The host while the element still belongs to a manager.
    IGameElementHost* GetHost() const { return GetManager() ? m_pHost : nullptr; }
    bool IsGameIV() const;

    static bool WriteMatrix(Tessera3D::CBinaryWriter& writer, const Tessera3D::CMatrix4x4& matrix);
    static bool ReadMatrix(Tessera3D::CBinaryReader& reader, Tessera3D::CMatrix4x4& matrix);
    static bool WriteVector(Tessera3D::CBinaryWriter& writer, const Tessera3D::CVector3D& v);
    static bool ReadVector(Tessera3D::CBinaryReader& reader, Tessera3D::CVector3D& v);
    // Replaces the rotation rows by a rotation about z, keeping the position.
    static void SetMatrixHeading(Tessera3D::CMatrix4x4& matrix, float heading);

    Tessera3D::CMatrix4x4 m_Matrix;

private:
    IGameElementHost* m_pHost;
    int32_t m_ModelIndex = -1;
    uint8_t m_Interior = 0;
    uint8_t m_CreationKind = 0;
    int32_t m_ClientSideId = -1;
};
