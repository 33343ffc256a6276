#pragma once
// Owns every registered element: the element table, ids and names, destruction, and per client the
// streaming (which elements exist on it), the syncer choice and the sync distribution. It also
// handles the replication messages clients send.
//
// Passes cost in proportion to what they touch: occupied slots and each client's created elements
// are bit sets walked in slot order, a streaming tick narrows each client's creation candidates
// through a spatial index, and a sync round builds each element's record once for all recipients.
#include "Engine/NetObjectRegistry.h"
#include "Engine/References.h"
#include "Multiplayer/NetObject.h"
#include "Multiplayer/NetObjectEvents.h"
#include "Multiplayer/SlotBitset.h"
#include "Multiplayer/StreamingIndex.h"
#include "Network/NetTypes.h"

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tessera3D {
class CNetServer;
class CUnlimitedStream;
class Packet;
class ReflectedClass;
class Stream;
}
class CNetMachine;
class CNetMachines;

// How element states reach clients: never, in rounds at the host's sync interval, or as an answer to
// each sync message a client sends (the values of the "syncmethod" setting).
enum eNetSyncMethod : int { NET_SYNC_NONE = 0, NET_SYNC_INTERVAL = 1, NET_SYNC_REPLAY = 2 };

struct CSyncDelivery {
    eNetSyncMethod m_Method = NET_SYNC_INTERVAL;
    Tessera3D::ePacketPriority m_Priority = Tessera3D::PACKET_PRIORITY_LOW;
    uint32_t m_Flags = Tessera3D::PACKET_FLAGS_NONE;
};

class CNetObjectMgr : public Tessera3D::INetObjectRegistry {
public:
    static constexpr size_t MAX_ELEMENTS = 16384;
    static constexpr int32_t MAX_NETWORK_ID = 32767;
    using CElementSet = CSlotBitset<MAX_ELEMENTS>;

    // Sends through the machine table's transport. The manager must outlive its elements.
    explicit CNetObjectMgr(CNetMachines* pMachines);
    virtual ~CNetObjectMgr();
    CNetObjectMgr(const CNetObjectMgr&) = delete;
    CNetObjectMgr& operator=(const CNetObjectMgr&) = delete;

    // The element factory by type mask: a new unregistered element with one reference owned by the
    // caller, or null. The base knows no kinds; the game layer does.
    virtual CNetObject* Create(int32_t type) { return nullptr; }

    CNetMachines* GetMachines() const { return m_pMachines; }
    Tessera3D::CNetServer* GetTransport() const;
    // On the server the manager is the authority: it broadcasts deletions and streams to clients.
    bool IsServerMode() const { return m_bServerMode; }
    void SetServerMode(bool serverMode) { m_bServerMode = serverMode; }
    // Where OnElementStreamIn, OnElementStreamOut and OnElementDestroy go; none: nothing cancels.
    void SetEvents(INetObjectEvents* pEvents) { m_pEvents = pEvents; }

    // --- Table ---------------------------------------------------------------------------------
    // Enters the element into the first free slot and gives it an id; false when the table is full
    // or the element's destruction has begun.
    bool RegisterNetObject(CNetObject* pElement);
    // Deletes the element on every client and takes it out of the table; false when it refuses or is
    // already being deleted, or when it is unregistered and a handler cancelled OnElementDestroy.
    bool DestroyObject(CNetObject* pElement, bool inform, bool force);
    CNetObject* GetObjectFromId(int32_t id) const;
    Tessera3D::CBaseObject* FindNetObject(int32_t id) override;
    // The element that most recently took the name, or null.
    CNetObject* GetObjectFromName(const char* pName) const;
    size_t GetCount() const { return m_Occupied.Count(); }
    CNetObject* GetObjectInSlot(size_t slot) const { return slot < MAX_ELEMENTS ? m_Slots[slot] : nullptr; }
    // Calls fn(element) for every registered element in slot order.
    template <typename Fn>
    void ForEach(Fn&& fn) const {
        m_Occupied.ForEach([&](size_t slot) {
            if (CNetObject* pElement = m_Slots[slot]) fn(*pElement);
        });
    }
    // The elements created for a client (by index), as slots.
    const CElementSet& GetCreatedSet(int32_t index) const { return m_Created[static_cast<size_t>(index & 255)]; }

    // --- Sending -------------------------------------------------------------------------------
    // To every client in game (not the console) that has the element; false without a machine table
    // or for an unregistered element.
    bool SendObjectRelatedPacket(const Tessera3D::Packet* pPacket, const CNetObject* pElement) const;
    // To every occupied slot but one (and never the console), in game or not.
    void SendPacketExcluding(const Tessera3D::Packet* pPacket, const CNetMachine* pExcluded) const;
    // Broadcast through the transport to every peer.
    void SendEveryonePacket(const Tessera3D::Packet* pPacket) const;

    // --- Streaming -----------------------------------------------------------------------------
    // Creates on the client, in one message, every element of the type mask that passes the
    // stream-in test and is not there yet.
    void CreateObjectsAsNeeded(CNetMachine* pMachine, int32_t typeMask);
    // Deletes on the client, in one message, the elements it may no longer have.
    void DeleteFarAwayStuff(CNetMachine* pMachine);
    // One client's share of a streaming tick: vehicles first, so they reach the client before the
    // peds inside them, then everything else, then deletions.
    virtual void ManageElements(CNetMachine* pMachine);
    // Gives every element that wants a syncer and has none the first client it is created for.
    void FindSyncers();
    // The streaming tick: ManageElements for every client in game in slot order, then FindSyncers.
    void ProcessStreaming();
    // Creates one element on one client at once (a spawned player).
    void SendCreatePacket(CNetMachine* pMachine, CNetObject* pElement);
    // True while the element should now be created for the client (raises OnElementStreamIn).
    bool OnStreamObjectInForClient(CNetObject* pElement, CNetMachine* pMachine);

    // --- Sync ----------------------------------------------------------------------------------
    // One sync message to one client with the states of the elements it has, on channel 1.
    void SendSync(CNetMachine* pMachine, Tessera3D::ePacketPriority priority, uint32_t flags);
    // SendSync to every client in game, building each element's record once.
    void SendSyncToAll(Tessera3D::ePacketPriority priority, uint32_t flags);
    const CSyncDelivery& GetSyncDelivery() const { return m_SyncDelivery; }
    void SetSyncDelivery(const CSyncDelivery& delivery) { m_SyncDelivery = delivery; }
    // The host's sync tick: a round with the configured delivery when the method is interval.
    void ProcessSyncInterval();

    // --- Client messages and leaving -----------------------------------------------------------
    // Handles the replication messages from an admitted client: element sync (4, answered with the
    // client's own sync when the method is replay), deletions (12) and syncer requests (31). False
    // for any other id.
    bool ProcessPacket(CNetMachine* pMachine, uint32_t id, Tessera3D::Stream* pStream);
    void HandleElementSync(CNetMachine* pMachine, Tessera3D::Stream* pStream);
    void HandleElementDelete(CNetMachine* pMachine, Tessera3D::Stream* pStream);
    void HandleRequestSyncer(CNetMachine* pMachine, Tessera3D::Stream* pStream);
    // A client leaves: it syncs nothing and has nothing any more (elements that may not outlive
    // their last client go), then its player element is destroyed and unbound.
    void OnMachineLeft(CNetMachine* pMachine);

    // --- Script classes (filled in by the scripting layer) -------------------------------------
    Tessera3D::ReflectedClass* m_pClientClass = nullptr;
    Tessera3D::ReflectedClass* m_pElementClass = nullptr;
    Tessera3D::ReflectedClass* m_pNetObjectFlagsClass = nullptr;

private:
    friend class CNetObject;

    // Raises an event; true when nobody cancelled it.
    bool Trigger(eNetObjectEvent event, CNetObject* pElement, CNetMachine* pMachine);
    bool IsLocalMachine(const CNetMachine* pMachine) const;

    // Id and name maps.
    void AssignId(CNetObject* pElement);
    void SetNetworkId(CNetObject* pElement, int32_t id);
    void MapName(const std::string& name, CNetObject* pElement);
    void UnmapName(const std::string& name);
    void ResolvePendingParents(CNetObject* pElement);
    void OnPendingParentChanged(CNetObject* pElement, int32_t previous);

    // Created bits, kept in the element and in the client's set together.
    void MarkCreated(CNetObject* pElement, int32_t index);
    void MarkNotCreated(CNetObject* pElement, int32_t index);
    void ClearCreated(CNetObject* pElement);

    // One element's records (identifier first); false when the element cannot write them or they
    // are too long for a record.
    static bool BuildCreateRecord(CNetObject* pElement, Tessera3D::CUnlimitedStream& record);
    static bool BuildSyncRecord(CNetObject* pElement, Tessera3D::CUnlimitedStream& record);
    // Where a client stands for streaming: its player's dimension (the player's parent's when it has
    // one, -1 without a player) and position.
    struct CMachinePlace {
        int32_t m_Dimension = -1;
        bool m_bLocated = false;
        Tessera3D::CVector3D m_Position;
    };
    CMachinePlace GetMachinePlace(CNetMachine* pMachine) const;
    // The creation candidates of a streaming tick for one client.
    void CollectCreationCandidates(CNetMachine* pMachine, const CMachinePlace& place, CElementSet& slots) const;
    void BuildStreamingIndex();
    // The stream-in test with the client's place already known.
    bool PassesStreamIn(CNetObject* pElement, CNetMachine* pMachine, const CMachinePlace& place);
    // Stream-out rules of the deletion pass.
    bool MustStreamOut(CNetObject* pElement, CNetMachine* pMachine, const CMachinePlace& place) const;
    // Drops a client's created bit as a deletion does: first created-for index moved, syncer cleared.
    void ForgetForMachine(CNetObject* pElement, CNetMachine* pMachine);
    // Tears the table down without messages (the manager is going).
    void ReleaseAll();

    CNetMachines* m_pMachines;
    INetObjectEvents* m_pEvents = nullptr;
    bool m_bServerMode = true;

    std::array<CNetObject*, MAX_ELEMENTS> m_Slots{}; // each holds one reference
    CElementSet m_Occupied;
    std::vector<CElementSet> m_Created; // per client index
    std::unordered_map<int32_t, CNetObject*> m_IdMap;
    std::unordered_map<std::string, CNetObject*> m_NameMap;
    int32_t m_NextId = 0;
    // Registered elements still waiting for their parent's id.
    size_t m_PendingParents = 0;

    // A streaming tick narrows creation candidates through this index.
    CStreamingIndex m_StreamingIndex;
    bool m_bStreamingTick = false;

    // A sync round keeps each element's record for every recipient: offset and size in the arena.
    struct CSyncRecord {
        uint32_t m_Round = 0;
        uint32_t m_Offset = 0;
        uint32_t m_Size = 0; // 0: the element wrote nothing usable
    };
    CSyncDelivery m_SyncDelivery;
    bool m_bSyncRound = false;
    uint32_t m_SyncRound = 0;
    std::vector<CSyncRecord> m_SyncRecords;
    std::vector<uint8_t> m_SyncArena;
};
