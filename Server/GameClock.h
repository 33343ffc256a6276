#pragma once
// The game world's time of day, weather, shared millisecond timer and the GTA III bridge, kept on the
// server and sent to the clients of the served game.
#include "GameSettings.h"
#include "ServerSettings.h"

#include "Engine/BaseObject.h"

#include <cstdint>

class CNetMachine;
class CNetMachines;

// Day, hour and minute, and the thousandths of the current minute.
class CGameClock {
public:
    // Advances by real seconds; a minute lasts the minute duration.
    void Process(double deltaSeconds);

    // Values outside their range carry into (or borrow from) the larger units.
    void SetHour(int64_t hour);
    void SetMinute(int64_t minute);
    // Seconds of the current minute; replaces its fraction.
    void SetSecond(double second);
    double GetSecond() const;
    void SetDay(int32_t day) { m_Day = day; }

    int32_t m_Day = 0;
    uint8_t m_Hour = 0;
    uint8_t m_Minute = 0;
    double m_MinuteFraction = 0.0; // 0 <= value < 1000
    double m_MinuteDuration = 1.0; // real seconds
    bool m_bChanged = false;

private:
    // Minute then hour then day, from a minute count that may be out of range.
    void CarryMinutes(int64_t minutes);
};

class CWorld : public Tessera3D::CBaseObject {
public:
    // Every 10 seconds of frame time the clients get the timer, the clock and the weather again.
    static constexpr double SYNC_PERIOD = 10.0;

    CWorld();

    // Where the world finds its clients and the settings; both must outlive it.
    void SetContext(CNetMachines* pMachines, const CServerSettings* pSettings, const CGameSettings* pGameSettings);

    CGameClock& GetClock() { return m_Clock; }
    const CGameClock& GetClock() const { return m_Clock; }

    // One client each. Clock and weather go only while their sync setting is on; the bridge only to
    // GTA III clients.
    void SyncClock(CNetMachine* pClient);
    void SyncWeather(CNetMachine* pClient, bool force);
    void SyncMinuteDuration(CNetMachine* pClient);
    void SyncTimer(CNetMachine* pClient);
    void SyncSSVBridge(CNetMachine* pClient);
    // What a client gets on joining: minute duration, clock, weather (forced), timer, bridge.
    void SendJoinState(CNetMachine* pClient);

    // A game-layer iteration: the timer follows real time, the clock the frame time; changes and the
    // periodic sends go to the eligible clients.
    void Process(double frameTime);
    void Process(double frameTime, uint32_t nowMilliseconds);

    uint8_t GetWeather() const { return m_Weather; }
    bool IsWeatherForced() const { return m_bWeatherForced; }
    // Sent at the end of the iteration, forced or not.
    void SetWeather(uint8_t weather);
    void ForceWeather(uint8_t weather);
    double GetMinuteDuration() const { return m_Clock.m_MinuteDuration; }
    // Stores the duration without telling anyone (configuration).
    void SetMinuteDuration(double seconds) { m_Clock.m_MinuteDuration = seconds; }
    // Stores it and tells every eligible client.
    void ChangeMinuteDuration(double seconds);
    int64_t GetTimer() const { return m_Timer; }
    int64_t GetBridge() const { return m_Bridge; }
    bool IsBridgeEnabled() const { return m_Bridge != 0; }
    // Tells the GTA III clients.
    void SetBridgeEnabled(bool enabled);

private:
    // The occupied slots below the player limit whose game is the server's.
    template <typename Fn>
    void ForEachEligible(Fn&& fn) const;

    CNetMachines* m_pMachines = nullptr;
    const CServerSettings* m_pSettings = nullptr;
    const CGameSettings* m_pGameSettings = nullptr;
    CGameClock m_Clock;
    uint8_t m_Weather = 0;
    bool m_bWeatherForced = false;
    bool m_bWeatherChanged = false;
    double m_SyncAccumulator = 0.0;
    uint32_t m_LastMilliseconds;
    int64_t m_Timer = 0;
    int64_t m_Bridge = 1;
};
