// The world clock and weather: how the clock runs and is set, and what the clients of the served game
// receive when, byte for byte.
#include "GameTestSupport.h"

#include "GameClock.h"
#include "Multiplayer/GameMessages.h"

#include <cmath>

using namespace Tessera3D;

TEST(GameClock, RunsAtTheMinuteDuration) {
    const struct {
        double m_MinuteDuration;
        double m_Seconds;
        int m_Steps;
        int32_t m_Day;
        uint8_t m_Hour, m_Minute;
        double m_Fraction;
    } cases[] = {
        {1.0, 60.0, 1, 0, 1, 0, 0.0},      // an hour a real minute
        {2.0, 60.0, 1, 0, 0, 30, 0.0},     // thirty minutes
        {1.0, 0.0625, 960, 0, 1, 0, 0.0},  // the same hour in capped frames
        {1.0, 1.5, 1, 0, 0, 1, 500.0},     // a minute and a half
        {1.0, 24 * 3600.0, 1, 60, 0, 0, 0.0},
        {0.5, 0.25, 1, 0, 0, 0, 500.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.m_MinuteDuration << " " << c.m_Seconds);
        CGameClock clock;
        clock.m_MinuteDuration = c.m_MinuteDuration;
        for (int i = 0; i < c.m_Steps; ++i) clock.Process(c.m_Seconds);
        EXPECT_EQ(clock.m_Day, c.m_Day);
        EXPECT_EQ(clock.m_Hour, c.m_Hour);
        EXPECT_EQ(clock.m_Minute, c.m_Minute);
        EXPECT_NEAR(clock.m_MinuteFraction, c.m_Fraction, 1e-6);
        EXPECT_FALSE(clock.m_bChanged); // running is not a change
    }
}

// A minute duration that is zero or negative would make every frame an endless number of minutes.
TEST(GameClock, StandsStillWithoutAUsableMinuteDuration) {
    for (double duration : {0.0, -1.0, std::nan("")}) {
        CGameClock clock;
        clock.m_MinuteDuration = duration;
        clock.m_Hour = 12;
        clock.Process(1.0);
        EXPECT_EQ(clock.m_Hour, 12);
        EXPECT_EQ(clock.m_Minute, 0);
        EXPECT_EQ(clock.m_MinuteFraction, 0.0);
    }
    CGameClock clock;
    clock.m_MinuteDuration = 1e-30;
    clock.Process(1.0);
    EXPECT_LT(clock.m_Hour, 24);
    EXPECT_LT(clock.m_Minute, 60);
    EXPECT_LT(clock.m_MinuteFraction, 1000.0);
}

TEST(GameClock, SettersCarryIntoTheLargerUnits) {
    const struct {
        const char* m_Name;
        uint8_t m_StartHour;
        void (*m_Set)(CGameClock&);
        int32_t m_Day;
        uint8_t m_Hour, m_Minute;
        double m_Fraction;
    } cases[] = {
        {"hour 25", 0, [](CGameClock& c) { c.SetHour(25); }, 1, 1, 0, 0},
        {"hour -1", 0, [](CGameClock& c) { c.SetHour(-1); }, -1, 23, 0, 0},
        {"hour -25", 0, [](CGameClock& c) { c.SetHour(-25); }, -2, 23, 0, 0},
        {"minute 130 at 23:00", 23, [](CGameClock& c) { c.SetMinute(130); }, 1, 1, 10, 0},
        {"minute -1 at 00:00", 0, [](CGameClock& c) { c.SetMinute(-1); }, -1, 23, 59, 0},
        {"second 90", 0, [](CGameClock& c) { c.SetSecond(90); }, 0, 0, 1, 500},
        {"second -3", 5, [](CGameClock& c) { c.SetSecond(-3); }, 0, 4, 59, 950},
        {"second NaN", 5, [](CGameClock& c) { c.SetSecond(std::nan("")); }, 0, 5, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_Name);
        CGameClock clock;
        clock.m_Hour = c.m_StartHour;
        clock.m_MinuteFraction = 123; // replaced by the second setter, kept by the others
        c.m_Set(clock);
        EXPECT_EQ(clock.m_Day, c.m_Day);
        EXPECT_EQ(clock.m_Hour, c.m_Hour);
        EXPECT_EQ(clock.m_Minute, c.m_Minute);
        if (std::string(c.m_Name).rfind("second", 0) == 0) EXPECT_EQ(clock.m_MinuteFraction, c.m_Fraction);
        else EXPECT_EQ(clock.m_MinuteFraction, 123);
        EXPECT_TRUE(clock.m_bChanged);
    }
    CGameClock clock;
    clock.SetSecond(90);
    EXPECT_EQ(clock.GetSecond(), 30.0);
}

namespace {

// Clients 0 and 1 play the server's game (GTA III), client 2 plays another, client 40 sits above the
// player limit of 32.
class WorldTest : public testing::Test {
protected:
    WorldTest() : m_World(2) {
        m_World.AddClient(2, 3);
        m_World.AddClient(40);
        m_World.Client(0)->m_bInGame = false; // still loading: the world counts it all the same
        m_pWorld->SetContext(&m_World.m_Machines, &m_Settings, &m_GameSettings);
    }

    std::vector<Bytes> To(int client, uint32_t id) { return m_World.m_Transport.PayloadsTo(m_World.Peer(client), id); }
    void Clear() { m_World.m_Transport.m_Sends.clear(); }

    CGameWorld m_World;
    CServerSettings m_Settings;
    CGameSettings m_GameSettings;
    Strong<CWorld> m_pWorld = MakeStrong<CWorld>();
};

} // namespace

TEST_F(WorldTest, JoiningClientGetsTheWholeStateInOrder) {
    m_pWorld->GetClock().m_Hour = 7;
    m_pWorld->GetClock().m_Minute = 45;
    m_pWorld->GetClock().m_MinuteFraction = 999.9;
    m_pWorld->SetWeather(4); // not forced: the joining client is told it is
    m_pWorld->SetMinuteDuration(1.5);
    m_pWorld->SendJoinState(m_World.Client(1));
    const auto& sends = m_World.m_Transport.m_Sends;
    ASSERT_EQ(sends.size(), 5u);
    const uint32_t ids[] = {PACKET_WORLD_MINUTE_DURATION, PACKET_WORLD_CLOCK, PACKET_WORLD_WEATHER, PACKET_WORLD_TIMER, PACKET_WORLD_BRIDGE};
    const Bytes payloads[] = {CBytes().u32(1500), CBytes().u8(7).u8(45).i16(999), CBytes().u8(1).u8(4), CBytes().i64(0), CBytes().i64(1)};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(sends[i].m_Id, ids[i]);
        EXPECT_EQ(Hex(sends[i].m_Payload), Hex(payloads[i]));
        EXPECT_EQ(sends[i].m_pPeer, m_World.Peer(1));
        EXPECT_EQ(sends[i].m_Priority, PACKET_PRIORITY_LOW);
        EXPECT_EQ(sends[i].m_Flags, PACKET_FLAGS_RELIABLE);
        EXPECT_EQ(sends[i].m_Channel, 0);
    }
    // The bridge is GTA III's: a client of another game does not hear of it.
    Clear();
    m_pWorld->SendJoinState(m_World.Client(2));
    EXPECT_TRUE(To(2, PACKET_WORLD_BRIDGE).empty());
    EXPECT_EQ(m_World.m_Transport.m_Sends.size(), 4u);
}

TEST_F(WorldTest, EveryTenSecondsTheEligibleClientsGetTimerClockAndWeather) {
    uint32_t now = 1000;
    m_pWorld->Process(0.0, now); // settles the timer's base
    const int64_t base = m_pWorld->GetTimer();
    Clear();
    // 160 frames of 62.5 ms: exactly 10 seconds, not above them.
    for (int i = 0; i < 160; ++i) m_pWorld->Process(0.0625, now += 62);
    EXPECT_TRUE(m_World.m_Transport.m_Sends.empty());
    m_pWorld->Process(0.0625, now += 62);
    for (int client : {0, 1}) {
        SCOPED_TRACE(client);
        ASSERT_EQ(To(client, PACKET_WORLD_TIMER).size(), 1u);
        EXPECT_EQ(Hex(To(client, PACKET_WORLD_TIMER)[0]), Hex(CBytes().i64(base + 161 * 62)));
        ASSERT_EQ(To(client, PACKET_WORLD_CLOCK).size(), 1u);
        EXPECT_EQ(Hex(To(client, PACKET_WORLD_CLOCK)[0]), Hex(CBytes().u8(0).u8(10).i16(62)));
        ASSERT_EQ(To(client, PACKET_WORLD_WEATHER).size(), 1u);
        EXPECT_EQ(Hex(To(client, PACKET_WORLD_WEATHER)[0]), Hex(CBytes().u8(0).u8(0)));
    }
    // Another game's client and one above the player limit get nothing; the order is timer, clock, weather.
    EXPECT_EQ(m_World.m_Transport.m_Sends.size(), 6u);
    EXPECT_EQ(m_World.m_Transport.m_Sends[0].m_Id, PACKET_WORLD_TIMER);
    EXPECT_EQ(m_World.m_Transport.m_Sends[2].m_Id, PACKET_WORLD_CLOCK);
    EXPECT_EQ(m_World.m_Transport.m_Sends[4].m_Id, PACKET_WORLD_WEATHER);
    // The accumulator starts again.
    Clear();
    for (int i = 0; i < 100; ++i) m_pWorld->Process(0.0625, now += 62);
    EXPECT_TRUE(m_World.m_Transport.m_Sends.empty());
}

TEST_F(WorldTest, ScriptChangesGoOutAtTheEndOfTheIteration) {
    m_pWorld->GetClock().SetHour(5);
    m_pWorld->SetWeather(3);
    EXPECT_TRUE(m_World.m_Transport.m_Sends.empty());
    m_pWorld->Process(0.0, 0);
    EXPECT_EQ(Hex(To(1, PACKET_WORLD_CLOCK).at(0)), Hex(CBytes().u8(5).u8(0).i16(0)));
    EXPECT_EQ(Hex(To(1, PACKET_WORLD_WEATHER).at(0)), Hex(CBytes().u8(0).u8(3)));
    EXPECT_TRUE(To(1, PACKET_WORLD_TIMER).empty());
    Clear();
    m_pWorld->ForceWeather(9);
    m_pWorld->Process(0.0, 0);
    EXPECT_EQ(Hex(To(0, PACKET_WORLD_WEATHER).at(0)), Hex(CBytes().u8(1).u8(9)));
    EXPECT_TRUE(To(0, PACKET_WORLD_CLOCK).empty());
    // The day is never sent.
    Clear();
    m_pWorld->GetClock().SetDay(12);
    m_pWorld->Process(0.0, 0);
    EXPECT_TRUE(m_World.m_Transport.m_Sends.empty());
}

TEST_F(WorldTest, SyncSwitchesSilenceClockAndWeatherButNotTheTimer) {
    m_GameSettings.m_bTimeSync = false;
    m_GameSettings.m_bWeatherSync = false;
    m_pWorld->GetClock().SetHour(5);
    m_pWorld->ForceWeather(2);
    m_pWorld->Process(10.5, 0);
    EXPECT_EQ(m_World.m_Transport.Count(PACKET_WORLD_CLOCK), 0u);
    EXPECT_EQ(m_World.m_Transport.Count(PACKET_WORLD_WEATHER), 0u);
    EXPECT_EQ(To(1, PACKET_WORLD_TIMER).size(), 1u);
    // The changes were consumed: turning the switch on later does not replay them.
    m_GameSettings.m_bTimeSync = true;
    Clear();
    m_pWorld->Process(0.0, 0);
    EXPECT_TRUE(m_World.m_Transport.m_Sends.empty());
    // The join state keeps only what is always sent.
    m_GameSettings.m_bTimeSync = false;
    m_pWorld->SendJoinState(m_World.Client(1));
    EXPECT_EQ(m_World.m_Transport.Count(PACKET_WORLD_MINUTE_DURATION), 1u);
    EXPECT_EQ(m_World.m_Transport.Count(PACKET_WORLD_CLOCK), 0u);
}

TEST_F(WorldTest, MinuteDurationAndBridgeChangesReachTheirClients) {
    m_pWorld->ChangeMinuteDuration(1.5);
    EXPECT_EQ(Hex(To(0, PACKET_WORLD_MINUTE_DURATION).at(0)), Hex(CBytes().u32(1500)));
    EXPECT_EQ(Hex(To(1, PACKET_WORLD_MINUTE_DURATION).at(0)), Hex(CBytes().u32(1500)));
    EXPECT_TRUE(To(2, PACKET_WORLD_MINUTE_DURATION).empty());
    EXPECT_TRUE(To(40, PACKET_WORLD_MINUTE_DURATION).empty());

    Clear();
    EXPECT_TRUE(m_pWorld->IsBridgeEnabled());
    m_pWorld->SetBridgeEnabled(false);
    EXPECT_EQ(Hex(To(0, PACKET_WORLD_BRIDGE).at(0)), Hex(CBytes().i64(0)));
    EXPECT_TRUE(To(2, PACKET_WORLD_BRIDGE).empty()); // not a GTA III client
    EXPECT_TRUE(To(40, PACKET_WORLD_BRIDGE).empty());
    // Enabled while the timer is still 0 it stores 1; later it stores the timer.
    m_pWorld->SetBridgeEnabled(true);
    EXPECT_EQ(m_pWorld->GetBridge(), 1);
    m_pWorld->Process(0.0, 0);
    m_pWorld->Process(0.0, 250);
    m_pWorld->SetBridgeEnabled(true);
    EXPECT_EQ(m_pWorld->GetBridge(), m_pWorld->GetTimer());
    EXPECT_GT(m_pWorld->GetBridge(), 1);
}
