#pragma once
// Dummies: elements scripts use to group others; their position only decides where they stream and is
// not replicated.
#include "GameElementHost.h"

#include "Multiplayer/NetObject.h"

class CServerDummy : public CNetObject {
public:
    CServerDummy(CNetObjectMgr* pManager, IGameElementHost* pHost);

    bool SetPosition(const Tessera3D::CVector3D& position) override {
        m_Position = position;
        return true;
    }
    bool GetPosition(Tessera3D::CVector3D& position) const override {
        position = m_Position;
        return true;
    }

private:
    Tessera3D::CVector3D m_Position;
};
