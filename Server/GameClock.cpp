#include "GameClock.h"

#include "Engine/Clock.h"
#include "Multiplayer/GameMessages.h"
#include "Multiplayer/NetMachines.h"

#include <cmath>

using namespace Tessera3D;

namespace {

int64_t FloorDiv(int64_t value, int64_t divisor) {
    int64_t quotient = value / divisor;
    if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) --quotient;
    return quotient;
}

int64_t FloorMod(int64_t value, int64_t divisor) { return value - FloorDiv(value, divisor) * divisor; }

// Days wrap within int32 instead of overflowing.
int32_t AddDays(int32_t day, int64_t days) {
    return static_cast<int32_t>(static_cast<uint32_t>(day) + static_cast<uint32_t>(static_cast<uint64_t>(days)));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Clock

void CGameClock::Process(double deltaSeconds) {
    // A duration that is not positive would make every frame an infinite number of minutes.
    if (!(m_MinuteDuration > 0.0) || !(deltaSeconds > 0.0) || !std::isfinite(deltaSeconds)) return;
    const double f = m_MinuteFraction + deltaSeconds / m_MinuteDuration * 1000.0;
    if (!std::isfinite(f)) return;
    // Whole game minutes gained; beyond a few thousand years of game time a frame gains no more.
    const double whole = std::floor(f / 1000.0);
    const int64_t minutes = whole > 1e12 ? int64_t(1e12) : static_cast<int64_t>(whole);
    m_MinuteFraction = std::fmod(f, 1000.0);
    CarryMinutes(int64_t(m_Minute) + minutes);
}

void CGameClock::CarryMinutes(int64_t minutes) {
    m_Minute = static_cast<uint8_t>(FloorMod(minutes, 60));
    const int64_t hours = int64_t(m_Hour) + FloorDiv(minutes, 60);
    m_Hour = static_cast<uint8_t>(FloorMod(hours, 24));
    m_Day = AddDays(m_Day, FloorDiv(hours, 24));
}

void CGameClock::SetHour(int64_t hour) {
    m_Hour = static_cast<uint8_t>(FloorMod(hour, 24));
    m_Day = AddDays(m_Day, FloorDiv(hour, 24));
    m_bChanged = true;
}

void CGameClock::SetMinute(int64_t minute) {
    CarryMinutes(minute);
    m_bChanged = true;
}

void CGameClock::SetSecond(double second) {
    // Thousandths of a minute, truncated into int32 (out-of-range and NaN values saturate).
    const double scaled = second / 60.0 * 1000.0;
    int32_t t = 0;
    if (scaled >= 2147483647.0) t = INT32_MAX;
    else if (scaled <= -2147483648.0) t = INT32_MIN;
    else if (scaled == scaled) t = static_cast<int32_t>(scaled);
    m_MinuteFraction = static_cast<double>(FloorMod(t, 1000));
    CarryMinutes(int64_t(m_Minute) + FloorDiv(t, 1000));
    m_bChanged = true;
}

double CGameClock::GetSecond() const { return static_cast<double>(static_cast<int32_t>(m_MinuteFraction)) / 1000.0 * 60.0; }

// ---------------------------------------------------------------------------------------------
// World

CWorld::CWorld() : m_LastMilliseconds(OS::GetMillisecondsSinceStart()) {}

void CWorld::SetContext(CNetMachines* pMachines, const CServerSettings* pSettings, const CGameSettings* pGameSettings) {
    m_pMachines = pMachines;
    m_pSettings = pSettings;
    m_pGameSettings = pGameSettings;
}

template <typename Fn>
void CWorld::ForEachEligible(Fn&& fn) const {
    if (!m_pMachines || !m_pSettings) return;
    for (int32_t index = 0; index < m_pSettings->m_MaxPlayers && index < CNetMachines::MAX_MACHINES; ++index) {
        CNetMachine* pClient = m_pMachines->Get(index);
        if (pClient && pClient->m_Game == m_pSettings->m_Game) fn(pClient);
    }
}

void CWorld::SyncClock(CNetMachine* pClient) {
    if (!pClient || (m_pGameSettings && !m_pGameSettings->m_bTimeSync)) return;
    CWorldClock message;
    message.m_Hour = m_Clock.m_Hour;
    message.m_Minute = m_Clock.m_Minute;
    message.m_Fraction = static_cast<int16_t>(m_Clock.m_MinuteFraction);
    if (auto pPacket = BuildMessage(message)) pClient->SendPacket(pPacket.Get());
}

void CWorld::SyncWeather(CNetMachine* pClient, bool force) {
    if (!pClient || (m_pGameSettings && !m_pGameSettings->m_bWeatherSync)) return;
    CWorldWeather message;
    message.m_Forced = force ? 1 : 0;
    message.m_Weather = m_Weather;
    if (auto pPacket = BuildMessage(message)) pClient->SendPacket(pPacket.Get());
}

void CWorld::SyncMinuteDuration(CNetMachine* pClient) {
    if (!pClient) return;
    CWorldMinuteDuration message;
    const double milliseconds = m_Clock.m_MinuteDuration * 1000.0;
    message.m_Milliseconds = milliseconds >= 4294967295.0 ? UINT32_MAX : milliseconds > 0.0 ? static_cast<uint32_t>(milliseconds) : 0;
    if (auto pPacket = BuildMessage(message)) pClient->SendPacket(pPacket.Get());
}

void CWorld::SyncTimer(CNetMachine* pClient) {
    if (!pClient) return;
    CWorldTimer message;
    message.m_Value = m_Timer;
    if (auto pPacket = BuildMessage(message)) pClient->SendPacket(pPacket.Get());
}

void CWorld::SyncSSVBridge(CNetMachine* pClient) {
    if (!pClient || pClient->m_Game != 1) return;
    CWorldBridge message;
    message.m_Value = m_Bridge;
    if (auto pPacket = BuildMessage(message)) pClient->SendPacket(pPacket.Get());
}

void CWorld::SendJoinState(CNetMachine* pClient) {
    SyncMinuteDuration(pClient);
    SyncClock(pClient);
    SyncWeather(pClient, true);
    SyncTimer(pClient);
    SyncSSVBridge(pClient);
}

void CWorld::Process(double frameTime) { Process(frameTime, OS::GetMillisecondsSinceStart()); }

void CWorld::Process(double frameTime, uint32_t nowMilliseconds) {
    m_SyncAccumulator += frameTime;
    m_Timer += static_cast<uint32_t>(nowMilliseconds - m_LastMilliseconds);
    m_LastMilliseconds = nowMilliseconds;
    m_Clock.Process(frameTime);

    if (m_SyncAccumulator > SYNC_PERIOD) {
        m_bWeatherChanged = true;
        m_Clock.m_bChanged = true;
        ForEachEligible([&](CNetMachine* pClient) { SyncTimer(pClient); });
        m_SyncAccumulator = 0.0;
    }
    if (m_Clock.m_bChanged) {
        ForEachEligible([&](CNetMachine* pClient) { SyncClock(pClient); });
        m_Clock.m_bChanged = false;
    }
    if (m_bWeatherChanged) {
        ForEachEligible([&](CNetMachine* pClient) { SyncWeather(pClient, m_bWeatherForced); });
        m_bWeatherChanged = false;
    }
}

void CWorld::SetWeather(uint8_t weather) {
    m_Weather = weather;
    m_bWeatherForced = false;
    m_bWeatherChanged = true;
}

void CWorld::ForceWeather(uint8_t weather) {
    m_Weather = weather;
    m_bWeatherForced = true;
    m_bWeatherChanged = true;
}

void CWorld::ChangeMinuteDuration(double seconds) {
    m_Clock.m_MinuteDuration = seconds;
    ForEachEligible([&](CNetMachine* pClient) { SyncMinuteDuration(pClient); });
}

void CWorld::SetBridgeEnabled(bool enabled) {
    m_Bridge = enabled ? (m_Timer != 0 ? m_Timer : 1) : 0;
    // Every GTA III client below the player limit, whatever game the server runs.
    if (!m_pMachines || !m_pSettings) return;
    for (int32_t index = 0; index < m_pSettings->m_MaxPlayers && index < CNetMachines::MAX_MACHINES; ++index)
        if (CNetMachine* pClient = m_pMachines->Get(index)) SyncSSVBridge(pClient);
}
