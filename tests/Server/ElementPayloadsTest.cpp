// The game's element kinds: what the factory makes, their creation and sync records byte by byte, how
// a client's sync changes them, and the rules that tie peds, vehicles and blips together.
#include "GameTestSupport.h"

#include "Elements/Blip.h"
#include "Elements/Building.h"
#include "Elements/Dummy.h"
#include "Elements/Marker.h"
#include "Elements/Object.h"
#include "Elements/Pickup.h"
#include "Elements/Player.h"
#include "Elements/Train.h"

#include <cmath>
#include <functional>

using namespace Tessera3D;

namespace {

constexpr int GAME_III = 1, GAME_IV = 5;

template <typename T>
Strong<T> Make(CGameWorld& world, int32_t type) {
    return Strong<T>::Adopt(static_cast<T*>(world.m_Manager.Create(type)));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Factory

TEST(ElementFactory, MakesEachKindWithItsTypeFlagsAndDistances) {
    CGameWorld world;
    const struct {
        int32_t m_Type;
        uint16_t m_Flags;
        float m_In, m_Out;
    } cases[] = {
        {ELEMENT_PED, 0x970, 100, 200},      {ELEMENT_PLAYER, 0x9F0, 100, 200}, {ELEMENT_VEHICLE, 0x970, 100, 200},
        {ELEMENT_TRAIN, 0x9B0, 100, 200},    {ELEMENT_OBJECT, 0x940, 100, 200}, {ELEMENT_BUILDING, 0x940, 100, 200},
        {ELEMENT_BLIP, 0xD60, 100, 200},     {ELEMENT_PICKUP, 0x940, 50, 100},  {ELEMENT_MARKER, 0x940, 100, 200},
        {ELEMENT_DUMMY, 0x940, 100, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_Type);
        Strong<CNetObject> pElement = Make<CNetObject>(world, c.m_Type);
        ASSERT_TRUE(pElement);
        EXPECT_EQ(pElement->GetType(), c.m_Type);
        EXPECT_EQ(pElement->GetFlags(), c.m_Flags);
        EXPECT_EQ(pElement->GetStreamInDistance(), c.m_In);
        EXPECT_EQ(pElement->GetStreamOutDistance(), c.m_Out);
        EXPECT_EQ(pElement->GetNetworkId(), INVALID_NETWORK_ID);
        EXPECT_EQ(pElement->GetRefCount(), 1);
    }
    for (int32_t type : {int32_t(ELEMENT_ELEMENT), int32_t(ELEMENT_TRANSFORMABLE), int32_t(ELEMENT_ENTITY), int32_t(ELEMENT_PHYSICAL), 8192, 12345, -1})
        EXPECT_EQ(world.m_Manager.Create(type), nullptr) << type;
}

// ---------------------------------------------------------------------------------------------
// Creation records

TEST(ElementPayloads, CreationRecordsOfEveryKind) {
    CGameWorld world;
    const struct {
        const char* m_Name;
        int32_t m_Type;
        std::function<void(CNetObject&)> m_Setup;
        Bytes m_Expected;
    } cases[] = {
        {"building", ELEMENT_BUILDING,
         [](CNetObject& e) {
             auto& b = static_cast<CServerBuilding&>(e);
             b.SetModelIndex(3000);
             b.SetInterior(2);
         },
         CBytes().baseRecord().i32(3000) /* model */.u8(2) /* interior */.u8(0) /* creation kind */},
        {"object", ELEMENT_OBJECT, [](CNetObject&) {}, CBytes().baseRecord().i32(-1).u8(0).u8(0)},
        {"ped", ELEMENT_PED,
         [](CNetObject& e) {
             auto& p = static_cast<CServerPed&>(e);
             p.SetModelIndex(7);
             p.SetPedType(21);
             p.SetCreationKind(3);
         },
         CBytes().baseRecord().i32(7).u8(0).u8(3).i32(21) /* ped type */},
        {"player", ELEMENT_PLAYER, [](CNetObject&) {}, CBytes().baseRecord().i32(-1).u8(0).u8(0).i32(0)},
        {"vehicle, palette", ELEMENT_VEHICLE,
         [](CNetObject& e) {
             auto& v = static_cast<CServerVehicle&>(e);
             v.SetColours({1, 2, 3, 4});
             v.SetStrongGrip(true);
             v.SetEngine(true);
         },
         CBytes().baseRecord().i32(-1).u8(0).u8(0).u32(5) /* strong grip, engine */.u8(1) /* unlocked */.u8(1).u8(2).u8(3).u8(4)},
        {"vehicle, RGB", ELEMENT_VEHICLE,
         [](CNetObject& e) {
             auto& v = static_cast<CServerVehicle&>(e);
             v.SetRGBColours({0xFF112233, 0xFF445566, 0xFF000000, 0xFF000000});
             v.SetDoorsLocked(2);
         },
         CBytes().baseRecord().i32(-1).u8(0).u8(0).u32(2) /* RGB */.u8(2) /* locked */.u32(0xFF112233).u32(0xFF445566).u32(0xFF000000).u32(0xFF000000)},
        {"train", ELEMENT_TRAIN,
         [](CNetObject& e) {
             auto& t = static_cast<CServerTrain&>(e);
             t.SetTrack(3);
             t.SetDerailed(true);
         },
         CBytes().baseRecord().i32(-1).u8(0).u8(0).u32(0).u8(1).zeros(4).u8(0x0E) /* derailed, lights */.u8(3) /* track */},
        {"blip", ELEMENT_BLIP, [](CNetObject& e) { e.SetPosition({1, 2, 3}); },
         CBytes().baseRecord().vec(1, 2, 3).u8(1) /* flags */.u8(3) /* size */.i32(0xFF00FF) /* colour */},
        {"pickup", ELEMENT_PICKUP,
         [](CNetObject& e) {
             auto& p = static_cast<CServerPickup&>(e);
             p.SetPosition({4, 5, 6});
             p.SetModel(1242);
         },
         CBytes().baseRecord().vec(4, 5, 6).i32(1242).u8(2) /* type */.i32(0)},
        {"marker", ELEMENT_MARKER, [](CNetObject& e) { e.SetPosition({7, 8, 9}); },
         CBytes().baseRecord().vec(7, 8, 9).f32(1.0f) /* radius */},
        {"dummy", ELEMENT_DUMMY, [](CNetObject& e) { e.SetPosition({7, 8, 9}); }, CBytes().baseRecord()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_Name);
        Strong<CNetObject> pElement = Make<CNetObject>(world, c.m_Type);
        c.m_Setup(*pElement);
        EXPECT_EQ(Hex(CreatePayload(*pElement)), Hex(c.m_Expected));
    }
    // Nothing was registered, so nothing was announced.
    EXPECT_TRUE(world.m_Transport.m_Sends.empty());
}

// ---------------------------------------------------------------------------------------------
// Sync records

TEST(ElementPayloads, SyncRecordsOfEveryKindInBothGameFamilies) {
    const float moved[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1};
    const Bytes physical = CBytes().matrix(moved).vec(0, 0, 0).vec(0, 0, 0);
    const Bytes pedCommon = CBytes()
                                .i32(-1)         // relayed value
                                .vec(10, 20, 30) // position
                                .vec(0, 0, 0)    // relayed vector
                                .vec(0, 0, 0)    // velocity
                                .f32(0).f32(0)   // headings
                                .f32(100)        // health
                                .u8(0).i32(-1).u8(0) // vehicle state, vehicle, seat
                                .u16(0);         // weapon
    const Bytes pedRest = CBytes().u16(0).u16(0).u8(0).f32(0).u8(0).u8(0); // ammo, clip, state, armour, byte, no blob
    const Bytes playerRest = CBytes().u16(0).zeros(48).zeros(4).u8(1).u16(4);
    const struct {
        const char* m_Name;
        int m_Game;
        int32_t m_Type;
        Bytes m_Expected;
    } cases[] = {
        {"building", GAME_III, ELEMENT_BUILDING, CBytes().matrix(moved)},
        {"object", GAME_III, ELEMENT_OBJECT, physical},
        {"ped", GAME_III, ELEMENT_PED, CBytes().bytes(pedCommon).bytes(pedRest)},
        {"ped, IV", GAME_IV, ELEMENT_PED, CBytes().bytes(pedCommon).u16(0) /* no IV blob */},
        {"player", GAME_III, ELEMENT_PLAYER, CBytes().bytes(pedCommon).bytes(pedRest).bytes(playerRest)},
        {"player, IV", GAME_IV, ELEMENT_PLAYER, CBytes().bytes(pedCommon).u16(0)},
        {"vehicle", GAME_III, ELEMENT_VEHICLE,
         CBytes().bytes(physical).u32(0).f32(1000).f32(0).f32(0).f32(0).u8(0).i32(0).u8(0) /* damage form 0 */.u8(0)},
        {"vehicle, IV", GAME_IV, ELEMENT_VEHICLE, CBytes().bytes(physical).u32(0).f32(1000).f32(0).f32(0).f32(0)},
        {"train on its track", GAME_III, ELEMENT_TRAIN, CBytes().u8(0x0C).f32(0).f32(0)},
        {"blip", GAME_III, ELEMENT_BLIP, CBytes().vec(10, 20, 30)},
        {"pickup", GAME_III, ELEMENT_PICKUP, Bytes()},
        {"marker", GAME_III, ELEMENT_MARKER, Bytes()},
        {"dummy", GAME_III, ELEMENT_DUMMY, Bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_Name);
        CGameWorld world;
        world.m_Host.m_Game = c.m_Game;
        Strong<CNetObject> pElement = Make<CNetObject>(world, c.m_Type);
        pElement->SetPosition({10, 20, 30});
        EXPECT_EQ(Hex(SyncPayload(*pElement)), Hex(c.m_Expected));
    }
}

TEST(ElementPayloads, TrainSyncCarriesThePhysicalStateOnlyWhenDerailed) {
    CGameWorld world;
    Strong<CServerTrain> pTrain = Make<CServerTrain>(world, ELEMENT_TRAIN);
    pTrain->SetTrackPosition(12.5f);
    pTrain->SetSpeed(3.0f);
    EXPECT_EQ(SyncPayload(*pTrain).size(), 9u);

    // A derailed report brings the physical state; track position and speed stay as they were.
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    const Bytes derailed = CBytes().u8(0x02).matrix(m).vec(1, 0, 0).vec(0, 0, 1);
    ASSERT_TRUE(ReadSync(*pTrain, derailed));
    EXPECT_TRUE(pTrain->IsDerailed());
    EXPECT_EQ(pTrain->GetTrackPosition(), 12.5f);
    // Only the derailed flag is taken: the lights the server set stay on.
    EXPECT_EQ(Hex(SyncPayload(*pTrain)), Hex(CBytes().u8(0x0E).matrix(m).vec(1, 0, 0).vec(0, 0, 1)));

    ASSERT_TRUE(ReadSync(*pTrain, CBytes().u8(0).f32(40).f32(2)));
    EXPECT_FALSE(pTrain->IsDerailed());
    EXPECT_EQ(pTrain->GetTrackPosition(), 40.0f);
    EXPECT_EQ(pTrain->GetSpeed(), 2.0f);
}

// Records a client sends come back out unchanged, whatever opaque state they carry.
TEST(ElementPayloads, ClientSyncRecordsRoundTripByteForByte) {
    const float m[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 100, 200, 5, 1};
    Bytes blob(300);
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 7);
    const Bytes pedHead = CBytes().i32(77).vec(100, 200, 5).vec(1, 2, 3).vec(0.5f, 0, 0).f32(1.5707964f).f32(1.0f).f32(80).u8(0).i32(-1).u8(0).u16(22);
    const struct {
        const char* m_Name;
        int m_Game;
        int32_t m_Type;
        Bytes m_Record;
    } cases[] = {
        {"vehicle, damage form 1 and extras", GAME_III, ELEMENT_VEHICLE,
         CBytes().matrix(m).vec(1, 2, 3).vec(4, 5, 6).u32(1).f32(650).f32(1).f32(2).f32(3).u8(1).i32(-5)
             .u32(0xDEADBEE5) /* form 1 */.u8(0xE4).u8(1) /* extras */.i32(11).i32(-12)},
        {"vehicle, damage form 2", GAME_III, ELEMENT_VEHICLE,
         CBytes().matrix(m).vec(0, 0, 0).vec(0, 0, 0).u32(0).f32(1000).f32(0).f32(0).f32(0).u8(0).i32(0).u8(0x36).u8(0)},
        {"vehicle, damage form 3", GAME_III, ELEMENT_VEHICLE,
         CBytes().matrix(m).vec(0, 0, 0).vec(0, 0, 0).u32(0).f32(1000).f32(0).f32(0).f32(0).u8(0).i32(0).u8(0x03).u8(2)},
        {"vehicle, IV", GAME_IV, ELEMENT_VEHICLE, CBytes().matrix(m).vec(0, 0, 0).vec(0, 0, 0).u32(1).f32(10).f32(0).f32(0).f32(0)},
        {"ped with blob", GAME_III, ELEMENT_PED,
         CBytes().bytes(pedHead).u16(30).u16(5).u8(2).f32(50).u8(9).u8(1).u16(300).bytes(blob)},
        {"ped, IV blob", GAME_IV, ELEMENT_PED, CBytes().bytes(pedHead).u16(300).bytes(blob)},
        {"player", GAME_III, ELEMENT_PLAYER,
         CBytes().bytes(pedHead).u16(30).u16(5).u8(2).f32(50).u8(9).u8(0).u16(9).bytes(Bytes(48, 0xAB)).u32(0x01020304).u8(0).u16(77)},
        {"object", GAME_III, ELEMENT_OBJECT, CBytes().matrix(m).vec(1, 2, 3).vec(4, 5, 6)},
        {"building", GAME_III, ELEMENT_BUILDING, CBytes().matrix(m)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_Name);
        CGameWorld world;
        world.m_Host.m_Game = c.m_Game;
        Strong<CNetObject> pElement = Make<CNetObject>(world, c.m_Type);
        ASSERT_TRUE(ReadSync(*pElement, c.m_Record));
        EXPECT_EQ(Hex(SyncPayload(*pElement)), Hex(c.m_Record));
    }
}

TEST(ElementPayloads, DamageFormTwoKeepsItsTwoValuesAndDropsTheRest) {
    CGameWorld world;
    Strong<CServerVehicle> pVehicle = Make<CServerVehicle>(world, ELEMENT_VEHICLE);
    const auto record = [](uint8_t damage) {
        return Bytes(CBytes().matrix(kIdentity).vec(0, 0, 0).vec(0, 0, 0).u32(0).f32(1000).f32(0).f32(0).f32(0).u8(0).i32(0).u8(damage).u8(0));
    };
    ASSERT_TRUE(ReadSync(*pVehicle, record(0xF6))); // bits 6..7 carry nothing
    const Bytes written = SyncPayload(*pVehicle);
    EXPECT_EQ(written[written.size() - 2], 0x36);
    // Form 2 after form 1 updates E's first two values only.
    ASSERT_TRUE(ReadSync(*pVehicle, CBytes().matrix(kIdentity).vec(0, 0, 0).vec(0, 0, 0).u32(0).f32(1000).f32(0).f32(0).f32(0)
                                      .u8(0).i32(0).u32(0x00000001).u8(0xFF).u8(0)));
    ASSERT_TRUE(ReadSync(*pVehicle, record(0x02)));
    ASSERT_TRUE(ReadSync(*pVehicle, CBytes().matrix(kIdentity).vec(0, 0, 0).vec(0, 0, 0).u32(0).f32(1000).f32(0).f32(0).f32(0)
                                      .u8(0).i32(0).u8(0x01).u8(0).u8(0).u8(0).u8(0xAA).u8(0)));
    const Bytes form1 = SyncPayload(*pVehicle);
    EXPECT_EQ(form1[form1.size() - 2], 0xAA);
}

// A short or oversized record is refused and leaves the element exactly as it was.
TEST(ElementPayloads, MalformedSyncRecordsChangeNothing) {
    Bytes blob(1025, 1);
    const Bytes pedHead = CBytes().i32(1).vec(1, 2, 3).vec(0, 0, 0).vec(0, 0, 0).f32(0).f32(0).f32(50).u8(0).i32(-1).u8(0).u16(1);
    const struct {
        const char* m_Name;
        int m_Game;
        int32_t m_Type;
        Bytes m_Good;
        Bytes m_Oversized;
    } cases[] = {
        {"ped", GAME_III, ELEMENT_PED, CBytes().bytes(pedHead).u16(1).u16(1).u8(1).f32(1).u8(1).u8(1).u16(2).u8(7).u8(8),
         CBytes().bytes(pedHead).u16(1).u16(1).u8(1).f32(1).u8(1).u8(1).u16(1025).bytes(blob)},
        {"ped, IV", GAME_IV, ELEMENT_PED, CBytes().bytes(pedHead).u16(2).u8(7).u8(8), CBytes().bytes(pedHead).u16(1025).bytes(blob)},
        {"player", GAME_III, ELEMENT_PLAYER,
         CBytes().bytes(pedHead).u16(1).u16(1).u8(1).f32(1).u8(1).u8(0).u16(1).zeros(52).u8(1).u16(4), Bytes()},
        {"vehicle", GAME_III, ELEMENT_VEHICLE,
         CBytes().matrix(kIdentity).vec(0, 0, 0).vec(0, 0, 0).u32(0).f32(1).f32(0).f32(0).f32(0).u8(0).i32(0).u32(1).u8(0).u8(1).i32(1).i32(2),
         Bytes()},
        {"train", GAME_III, ELEMENT_TRAIN, CBytes().u8(2).matrix(kIdentity).vec(0, 0, 0).vec(0, 0, 0), Bytes()},
        {"blip", GAME_III, ELEMENT_BLIP, CBytes().vec(1, 2, 3), Bytes()},
        {"object", GAME_III, ELEMENT_OBJECT, CBytes().matrix(kIdentity).vec(0, 0, 0).vec(0, 0, 0), Bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_Name);
        CGameWorld world;
        world.m_Host.m_Game = c.m_Game;
        Strong<CNetObject> pElement = Make<CNetObject>(world, c.m_Type);
        const Bytes before = SyncPayload(*pElement);
        for (size_t length = 0; length < c.m_Good.size(); ++length) {
            EXPECT_FALSE(ReadSync(*pElement, Bytes(c.m_Good.begin(), c.m_Good.begin() + static_cast<long>(length)))) << length;
            ASSERT_EQ(Hex(SyncPayload(*pElement)), Hex(before)) << length;
        }
        if (!c.m_Oversized.empty()) {
            EXPECT_FALSE(ReadSync(*pElement, c.m_Oversized));
            EXPECT_EQ(Hex(SyncPayload(*pElement)), Hex(before));
        }
        EXPECT_TRUE(ReadSync(*pElement, c.m_Good));
    }
}

// ---------------------------------------------------------------------------------------------
// Matrix, heading and rotation

TEST(Entity, HeadingAndRotationKeepThePosition) {
    CGameWorld world;
    Strong<CServerObject> pObject = Make<CServerObject>(world, ELEMENT_OBJECT);
    pObject->SetPosition({5, 6, 7});
    pObject->SetHeading(1.5707964f);
    const CMatrix4x4& m = pObject->GetMatrix();
    const float expected[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], expected[i], 1e-6f) << i;
    EXPECT_NEAR(pObject->GetHeading(), 1.5707964f, 1e-6f);

    const CVector3D rotations[] = {{0, 0, 0}, {0.3f, 0, 0}, {0, -0.4f, 0}, {0, 0, 2.5f}, {0.2f, 0.3f, -1.2f}, {-2.0f, 1.0f, 3.0f}, {3.0f, 0.1f, 0.1f}};
    for (const CVector3D& r : rotations) {
        SCOPED_TRACE(testing::Message() << r.x << " " << r.y << " " << r.z);
        ASSERT_TRUE(pObject->SetRotation(r));
        CVector3D back;
        ASSERT_TRUE(pObject->GetRotation(back));
        EXPECT_NEAR(back.x, r.x, 1e-4f);
        EXPECT_NEAR(back.y, r.y, 1e-4f);
        EXPECT_NEAR(back.z, r.z, 1e-4f);
        CVector3D position;
        pObject->GetPosition(position);
        EXPECT_EQ(position.x, 5.0f);
        EXPECT_EQ(position.z, 7.0f);
    }
    // At the pole the pitch is clamped instead of leaving asin's domain.
    ASSERT_TRUE(pObject->SetRotation({0, 1.5707964f, 0}));
    CVector3D pole;
    pObject->GetRotation(pole);
    EXPECT_NEAR(std::fabs(pole.y), 1.5707964f, 1e-3f);
    EXPECT_FALSE(std::isnan(pole.x) || std::isnan(pole.z));
}

TEST(Ped, SyncPlacesTheMatrixAndTakesTheSeat) {
    CGameWorld world(1);
    Strong<CServerVehicle> pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    Strong<CServerPed> pPed = world.Add<CServerPed>(ELEMENT_PED);
    EXPECT_FALSE(pVehicle->CanSendSync());
    pVehicle->SetSyncer(world.Client(0), false);

    const auto pedRecord = [&](uint8_t state, int32_t vehicle, uint8_t seat) {
        return Bytes(CBytes().i32(0).vec(1, 2, 3).vec(0, 0, 0).vec(0, 0, 0).f32(1.5707964f).f32(0).f32(100).u8(state).i32(vehicle)
                         .u8(seat).u16(0).u16(0).u16(0).u8(0).f32(0).u8(0).u8(0));
    };
    ASSERT_TRUE(ReadSync(*pPed, pedRecord(3, pVehicle->GetNetworkId(), 2)));
    const CMatrix4x4& m = pPed->GetMatrix();
    EXPECT_NEAR(m(0, 0), 0.0f, 1e-6f);
    EXPECT_NEAR(m(0, 1), 1.0f, 1e-6f);
    EXPECT_NEAR(m(1, 0), -1.0f, 1e-6f);
    EXPECT_EQ(m(3, 0), 1.0f);
    EXPECT_EQ(m(3, 2), 3.0f);
    EXPECT_EQ(pVehicle->GetOccupant(2), pPed.Get());
    EXPECT_EQ(pVehicle->GetOccupant(0), nullptr);
    EXPECT_EQ(pVehicle->GetOccupant(9), nullptr);
    EXPECT_TRUE(pVehicle->CanSendSync());
    EXPECT_TRUE(pVehicle->CanSendSync(world.Client(255)));
    EXPECT_FALSE(pVehicle->CanSendSync(world.Client(0))); // never back to its syncer

    // Its last occupant gone, the vehicle's state goes nowhere.
    ASSERT_TRUE(ReadSync(*pPed, pedRecord(0, -1, 0)));
    EXPECT_EQ(pVehicle->GetOccupant(2), nullptr);
    EXPECT_FALSE(pVehicle->CanSendSync());
    EXPECT_FALSE(pVehicle->CanSendSync(world.Client(255)));

    // A seat above 8 or an id that is no vehicle takes no seat.
    Strong<CServerObject> pObject = world.Add<CServerObject>(ELEMENT_OBJECT);
    ASSERT_TRUE(ReadSync(*pPed, pedRecord(3, pVehicle->GetNetworkId(), 9)));
    ASSERT_TRUE(ReadSync(*pPed, pedRecord(3, pObject->GetNetworkId(), 0)));
    EXPECT_FALSE(pVehicle->CanSendSync());
}

TEST(Player, DriverHandsTheVehicleToItsSyncerUnlessTheVehicleSyncerIsForced) {
    CGameWorld world(2);
    Strong<CServerVehicle> pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    Strong<CServerPlayer> pPlayer = world.Add<CServerPlayer>(ELEMENT_PLAYER);
    pPlayer->SetSyncer(world.Client(1), true);
    pVehicle->SetSyncer(world.Client(0), false);
    const auto record = [&](uint8_t seat) {
        return Bytes(CBytes().i32(0).vec(0, 0, 0).vec(0, 0, 0).vec(0, 0, 0).f32(0).f32(0).f32(100).u8(3).i32(pVehicle->GetNetworkId())
                         .u8(seat).u16(0).u16(0).u16(0).u8(0).f32(0).u8(0).u8(0).u16(0).zeros(52).u8(1).u16(4));
    };
    ASSERT_TRUE(ReadSync(*pPlayer, record(1)));
    EXPECT_EQ(pVehicle->GetSyncer(), world.Client(0)); // a passenger does not drive
    ASSERT_TRUE(ReadSync(*pPlayer, record(0)));
    EXPECT_EQ(pVehicle->GetSyncer(), world.Client(1));
    pVehicle->SetSyncer(world.Client(0), true);
    ASSERT_TRUE(ReadSync(*pPlayer, record(0)));
    EXPECT_EQ(pVehicle->GetSyncer(), world.Client(0));
}

TEST(Ped, InsideAVehicleExistsExactlyWhereTheVehicleDoes) {
    CGameWorld world(2);
    Strong<CServerVehicle> pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    Strong<CServerPed> pPed = world.Add<CServerPed>(ELEMENT_PED);
    pPed->SetVehicleEnteringState(pVehicle.Get(), 0, VEHICLE_STATE_IN_VEHICLE);
    EXPECT_FALSE(pPed->CanExistForMachine(world.Client(0)));
    EXPECT_FALSE(pPed->CanExistForMachine(world.Client(1)));
    // Streaming the vehicle to client 0 (its syncer exempts it from distance) lets the ped follow.
    pVehicle->SetSyncer(world.Client(0), true);
    pVehicle->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER | NETOBJECT_ON_ALL_DIMENSIONS, true);
    world.m_Manager.CreateObjectsAsNeeded(world.Client(0), ELEMENT_VEHICLE);
    ASSERT_TRUE(pVehicle->IsCreatedFor(0));
    EXPECT_TRUE(pPed->CanExistForMachine(world.Client(0)));
    EXPECT_FALSE(pPed->CanExistForMachine(world.Client(1)));
    // Out of the vehicle the usual rule holds again.
    pPed->SetVehicleEnteringState(nullptr, 0, VEHICLE_STATE_NONE);
    EXPECT_TRUE(pPed->CanExistForMachine(world.Client(1)));
    pPed->SetExistsFor(1, false);
    EXPECT_FALSE(pPed->CanExistForMachine(world.Client(1)));
}

TEST(Blip, AttachedBlipTakesItsParentsPosition) {
    CGameWorld world;
    Strong<CServerVehicle> pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE, {100, 200, 10});
    Strong<CServerBlip> pBlip = Make<CServerBlip>(world, ELEMENT_BLIP);
    pBlip->SetPosition({1, 1, 1});
    ASSERT_TRUE(pBlip->SetParent(pVehicle.Get()));
    EXPECT_EQ(Hex(SyncPayload(*pBlip)), Hex(CBytes().vec(100, 200, 10)));
    const Bytes create = CreatePayload(*pBlip);
    EXPECT_EQ(Hex(Bytes(create.end() - 18, create.end() - 6)), Hex(CBytes().vec(100, 200, 10)));
    // While attached, a client's position is ignored; detached, it counts.
    ASSERT_TRUE(ReadSync(*pBlip, CBytes().vec(5, 5, 5)));
    pBlip->SetParent(nullptr);
    EXPECT_EQ(Hex(SyncPayload(*pBlip)), Hex(CBytes().vec(1, 1, 1)));
    ASSERT_TRUE(ReadSync(*pBlip, CBytes().vec(5, 5, 5)));
    EXPECT_EQ(Hex(SyncPayload(*pBlip)), Hex(CBytes().vec(5, 5, 5)));
}
