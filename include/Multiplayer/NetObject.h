#pragma once
// An element: anything the server replicates to clients. This base holds what every element kind
// shares (identity, type mask, flags, tree, name, dimension, stream distances, syncer, per-client
// state, data) and announces its own changes; the kinds add their fields and payloads by overriding
// the virtual operations.
#include "Engine/ArgumentMap.h"
#include "Engine/BaseObject.h"
#include "Engine/Mathematics/Vector3D.h"
#include "Engine/NetObjectRegistry.h"
#include "Engine/References.h"

#include <array>
#include <cstdint>
#include <string>

namespace Tessera3D {
class Packet;
class Stream;
}
class CNetMachine;
class CNetObjectMgr;

constexpr int32_t INVALID_NETWORK_ID = -1;

// Type masks: each kind adds its own bit to its base kind's mask; a mask matches an element when
// every bit of the mask is set in the element's type.
enum eNetObjectType : int32_t {
    ELEMENT_ELEMENT = 0,
    ELEMENT_TRANSFORMABLE = 2,
    ELEMENT_ENTITY = 6,
    ELEMENT_PHYSICAL = 14,
    ELEMENT_PED = 30,
    ELEMENT_PLAYER = 94,
    ELEMENT_VEHICLE = 142,
    ELEMENT_BLIP = 258,
    ELEMENT_OBJECT = 526,
    ELEMENT_BUILDING = 1030,
    ELEMENT_TRAIN = 2190,
    ELEMENT_PICKUP = 4098,
    ELEMENT_MARKER = 8194, // scripts have no constant for it
    ELEMENT_DUMMY = 16386,
};

inline bool TypeMatches(int32_t type, int32_t mask) { return (type & mask) == mask; }

// Behaviour switches (the script class NetObjectFlags names them as NETOBJECT_FLAG_NAMES does).
enum eNetObjectFlags : uint16_t {
    NETOBJECT_REGISTERED = 0x001,             // in the manager's table (read-only for scripts)
    NETOBJECT_DELETING = 0x002,               // destruction has begun (read-only for scripts)
    NETOBJECT_ON_ALL_DIMENSIONS = 0x004,      // dimensions are ignored when streaming
    NETOBJECT_FORCED_SYNCER = 0x008,          // the syncer was set explicitly; selection leaves it alone
    NETOBJECT_FIND_SYNCER = 0x010,            // the server picks a syncer when there is none
    NETOBJECT_SEND_SYNC = 0x020,              // the sync is sent to clients
    NETOBJECT_DISTANCE_STREAMING = 0x040,     // creation and deletion depend on distance
    NETOBJECT_ALWAYS_EXIST_FOR_SYNCER = 0x080, // the syncer keeps it regardless of distance
    NETOBJECT_DEFAULT_EXISTANCE = 0x100,      // master switch for existing for clients at all
    NETOBJECT_TRANSIENT = 0x200,              // destroyed once it exists for no client
    NETOBJECT_ONLY_SYNC_IF_DETACHED = 0x400,  // no sync to a client that has the parent
    NETOBJECT_NETWORKED = 0x800,              // replicated at all
};

constexpr uint16_t NETOBJECT_DEFAULT_FLAGS =
    NETOBJECT_FIND_SYNCER | NETOBJECT_SEND_SYNC | NETOBJECT_DEFAULT_EXISTANCE | NETOBJECT_NETWORKED;
constexpr unsigned NETOBJECT_FLAG_COUNT = 12;
// Script names of the flags, bit 0 first.
constexpr const char* NETOBJECT_FLAG_NAMES[NETOBJECT_FLAG_COUNT] = {
    "registered", "deleting", "onAllDimensions", "forcedSyncer", "findSyncer", "sendSync",
    "distanceStreaming", "alwaysExistForSyncer", "defaultExistance", "transient", "onlySyncIfDetached", "networked",
};

// Per-client state bits.
enum eNetObjectClientState : uint8_t {
    NETOBJECT_CLIENT_CREATED = 1, // created for that client
    NETOBJECT_CLIENT_EXISTS = 4,  // may exist for that client
};

class CNetObject : public Tessera3D::CBaseObject, public Tessera3D::INetIdentified {
public:
    static constexpr int32_t MAX_CLIENTS = 256;
    static constexpr int MAX_CHILDREN = 8;

    explicit CNetObject(CNetObjectMgr* pManager);
    ~CNetObject() override;

    // An element value holding this element.
    Tessera3D::CArgument* CreateArgument() override;
    int32_t GetNetworkId() const override { return m_NetworkId; }

    // --- What the element kinds override -----------------------------------------------------
    // Attaches to a parent (null detaches) and tells the clients; false when unchanged, when the
    // parent already has 8 children, or when the parent is this element or one of its descendants.
    virtual bool SetParent(CNetObject* pParent);
    // Leaves the tree on destruction: detaches from the parent, destroys the children (a child that
    // refuses is detached instead) and gives up the name.
    virtual void Remove();
    // The creation record after the identifier: this base part first, then the kind's fields.
    virtual bool ReadCreatePacket(Tessera3D::Stream* pStream);
    virtual bool WriteCreatePacket(Tessera3D::Stream* pStream);
    // The sync payload after the identifier; the base part is empty and only stamps the sync time.
    virtual bool ReadSyncPacket(Tessera3D::Stream* pStream);
    virtual bool WriteSyncPacket(Tessera3D::Stream* pStream);
    virtual bool CanBeDeleted() const { return true; }
    // Whether the sync goes out at all, and whether it may go to this client.
    virtual bool CanSendSync() const;
    virtual bool CanSendSync(CNetMachine* pMachine) const;
    virtual bool CanBeSyncer(CNetMachine* pMachine) const { return HasFlag(NETOBJECT_NETWORKED); }
    virtual bool CanExistForMachine(CNetMachine* pMachine) const;
    // Kinds without a position fail all four.
    virtual bool SetPosition(const Tessera3D::CVector3D& position) { return false; }
    virtual bool GetPosition(Tessera3D::CVector3D& position) const { return false; }
    virtual bool SetRotation(const Tessera3D::CVector3D& rotation) { return false; }
    virtual bool GetRotation(Tessera3D::CVector3D& rotation) const { return false; }
    // Hooks run on registration.
    virtual void OnCreated() {}
    virtual void CreateNetSyncData() {}
    virtual void CreateNetBlender() {}

    // --- Identity ------------------------------------------------------------------------------
    CNetObjectMgr* GetManager() const { return m_pManager; }
    int32_t GetType() const { return m_Type; }
    bool IsType(int32_t mask) const { return TypeMatches(m_Type, mask); }
    // int32 type, then int32 id.
    bool WriteIdentifier(Tessera3D::Stream* pStream) const;
    size_t GetSlot() const { return m_Slot; }
    bool IsRegistered() const { return HasFlag(NETOBJECT_REGISTERED); }

    uint16_t GetFlags() const { return m_Flags; }
    bool HasFlag(uint16_t flag) const { return (m_Flags & flag) != 0; }
    // Changes bits without telling anyone.
    void SetFlag(uint16_t flag, bool on) { m_Flags = on ? static_cast<uint16_t>(m_Flags | flag) : static_cast<uint16_t>(m_Flags & ~flag); }

    Tessera3D::CBaseObject* GetResource() const { return m_pResource.Get(); }
    void SetResource(Tessera3D::CBaseObject* pResource) { m_pResource = pResource; }

    // --- Syncer --------------------------------------------------------------------------------
    CNetMachine* GetSyncer() const;
    // The syncer's client index, or -1.
    int32_t GetSyncerId() const;
    // Changes the syncer (announced when it changed); forced marks an explicit choice.
    void SetSyncer(CNetMachine* pMachine, bool forced);
    // The machine at the index (none for -1 or above 255) unless the syncer is forced.
    void SetSyncerId(int32_t index);

    // --- Tree, name, dimension -----------------------------------------------------------------
    CNetObject* GetParent() const { return m_pParent; }
    // The children in slot order (empty slots are null).
    const std::array<CNetObject*, MAX_CHILDREN>& GetChildren() const { return m_Children; }
    int32_t GetPendingParentId() const { return m_PendingParentId; }
    void SetPendingParentId(int32_t id);

    // Null when the element has no name; an empty name is still a name.
    const char* GetName() const { return m_bHasName ? m_Name.c_str() : nullptr; }
    size_t GetNameLength() const { return m_Name.size(); }
    // Takes the name (null clears it) and the manager's name map entry for it.
    void SetName(const char* pName);
    void SetName(const char* pName, size_t length);

    int32_t GetDimension() const { return m_Dimension; }
    void SetDimension(int32_t dimension);
    // The dimension streaming compares: the parent's when there is one.
    int32_t GetStreamingDimension() const { return m_pParent ? m_pParent->m_Dimension : m_Dimension; }

    // --- Streaming -----------------------------------------------------------------------------
    float GetStreamInDistance() const { return m_StreamInDistance; }
    float GetStreamOutDistance() const { return m_StreamOutDistance; }
    void SetStreamInDistance(float distance) { m_StreamInDistance = distance; }
    void SetStreamOutDistance(float distance) { m_StreamOutDistance = distance; }
    // Distance between the client's player and this element; false when either has no position.
    bool GetDistanceToMachine(CNetMachine* pMachine, float& distance) const;
    // Distance from a point to this element; false when the element has no position.
    bool GetDistanceFrom(const Tessera3D::CVector3D& from, float& distance) const;

    bool IsCreatedFor(int32_t index) const { return InRange(index) && (m_ClientState[index] & NETOBJECT_CLIENT_CREATED); }
    bool ExistsFor(int32_t index) const { return InRange(index) && (m_ClientState[index] & NETOBJECT_CLIENT_EXISTS); }
    // Takes effect at the next streaming pass.
    void SetExistsFor(int32_t index, bool exists);
    // Exists for every client again.
    void ClearExistsFor();
    // Lowest client index the element is created for, -1 when none.
    int32_t GetFirstCreatedFor() const { return m_FirstCreatedFor; }
    bool IsCreatedForAnyone() const { return m_CreatedCount > 0; }

    uint32_t GetLastSyncTime() const { return m_LastSyncTime; }

    // --- Data ----------------------------------------------------------------------------------
    // A null (or null-kind) value removes the key; any other value is stored as a clone, announced
    // first when sync is set. False when the value cannot be stored.
    bool SetData(const char* pKey, const Tessera3D::CArgument* pValue, bool sync);
    // Announced only when the key existed.
    bool RemoveData(const char* pKey);
    void ClearData();
    const Tessera3D::CArgumentMap& GetData() const { return m_Data; }

protected:
    void SetType(int32_t type) { m_Type = type; }
    void StampSyncTime();
    // Sends a message to every client that has this element; nothing while unregistered.
    void SendToClientsWithElement(const Tessera3D::Packet* pPacket) const;

private:
    friend class CNetObjectMgr;

    static bool InRange(int32_t index) { return index >= 0 && index < MAX_CLIENTS; }
    bool IsAncestorOrSelf(const CNetObject* pElement) const;
    void DetachChild(CNetObject* pChild);
    void SendParent() const;
    void ReleaseName();

    // What every pass reads comes first, so a pass touches few cache lines per element.
    uint16_t m_Flags = NETOBJECT_DEFAULT_FLAGS;
    int32_t m_NetworkId = INVALID_NETWORK_ID;
    int32_t m_Type = ELEMENT_ELEMENT;
    int32_t m_Dimension = 0;
    int32_t m_FirstCreatedFor = -1;
    int32_t m_CreatedCount = 0;
    float m_StreamInDistance = 0.0f;
    float m_StreamOutDistance;
    CNetObject* m_pParent = nullptr;
    Tessera3D::Weak<CNetMachine> m_pSyncer;
    CNetObjectMgr* m_pManager;
    size_t m_Slot = 0;
    int32_t m_PendingParentId = INVALID_NETWORK_ID;
    uint32_t m_LastSyncTime = 0;
    std::array<CNetObject*, MAX_CHILDREN> m_Children{};
    Tessera3D::Strong<Tessera3D::CBaseObject> m_pResource;
    std::string m_Name;
    bool m_bHasName = false;
    std::array<uint8_t, MAX_CLIENTS> m_ClientState;
    Tessera3D::CArgumentMap m_Data;
};
