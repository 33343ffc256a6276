#pragma once
// A party that can own elements and receive replicated state: a connected client or the console
// pseudo-client. Its slot number in the machine table is its index.
#include "Engine/ArgumentMap.h"
#include "Engine/BaseObject.h"
#include "Engine/References.h"
#include "Multiplayer/MachineMessages.h"
#include "Multiplayer/NetObject.h"
#include "Network/IPAddress.h"
#include "Network/NetTypes.h"

#include <string>

namespace Tessera3D { class Packet; }
class CNetMachines;

class CNetMachine : public Tessera3D::CBaseObject {
public:
    explicit CNetMachine(CNetMachines* pMachines) : m_pMachines(pMachines) {}

    // To this machine through the transport; nothing for the console or without a transport.
    void SendPacket(const Tessera3D::Packet* pPacket, Tessera3D::ePacketPriority priority = Tessera3D::PACKET_PRIORITY_LOW,
                    uint32_t flags = Tessera3D::PACKET_FLAGS_RELIABLE, uint8_t channel = 0) const;

    // The player element, re-resolved by id when the weak reference has emptied.
    CNetObject* GetPlayer();
    int32_t GetPlayerId() const { return m_PlayerId; }
    // Binds the player element (null unbinds) and names it after the client: tells every machine,
    // then this client.
    void SetPlayer(CNetObject* pElement);
    // PACKET_LOCAL_PLAYER to this client when in game: the element id once the element has been
    // created for it, -1 before.
    void SendPlayer();
    // PACKET_CLIENT_UPDATE (the flags) to every machine.
    void SendUpdate();

    // Client data: a null (or null-kind) value removes the key; other values are stored as clones.
    // False when the value cannot be stored.
    bool SetData(const char* key, const Tessera3D::CArgument* pValue, bool sync);
    bool RemoveData(const char* key);
    void ClearData();
    const Tessera3D::CArgumentMap& GetData() const { return m_Data; }

    // The record that describes this client to others.
    CClientRecord MakeRecord() const;
    uint8_t GetFlags() const {
        return static_cast<uint8_t>((m_bAdministrator ? CLIENT_FLAG_ADMINISTRATOR : 0) | (m_bConsole ? CLIENT_FLAG_CONSOLE : 0));
    }

    CNetMachines* GetMachines() const { return m_pMachines; }

    Tessera3D::CIPAddress m_Address{};
    Tessera3D::NetPeer* m_pPeer = nullptr;
    std::string m_GameName;
    uint8_t m_Game = 0;
    int32_t m_Index = -1;
    std::string m_Name;
    bool m_bInGame = false;
    bool m_bAdministrator = false;
    bool m_bConsole = false;
    bool m_bElementStreaming = true;

private:
    CNetMachines* m_pMachines;
    Tessera3D::Weak<CNetObject> m_pPlayer;
    int32_t m_PlayerId = -1;
    Tessera3D::CArgumentMap m_Data;
};
