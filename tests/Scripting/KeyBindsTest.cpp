// Key binds: which binds a key event reaches (state and repeat), the message payload, removal by
// resource, and binds that change the table during a dispatch.
#include "ScriptingTestUtil.h"

#include "Engine/MemoryStream.h"
#include "Scripting/KeyBinds.h"

#include <gtest/gtest.h>

using namespace Tessera3D;
using namespace ScriptingTest;

namespace {

struct CThing : CBaseObject {};

constexpr uint32_t KEY_A = 0x61, KEY_B = 0x62;

Strong<CKeyEvent> KeyEvent(uint32_t keyCode, bool down, uint32_t repeat = 0) {
    auto pEvent = MakeStrong<CKeyEvent>();
    pEvent->m_KeyCode = static_cast<int32_t>(keyCode);
    pEvent->m_bDown = down;
    pEvent->m_RepeatCount = static_cast<int32_t>(repeat);
    return pEvent;
}

} // namespace

TEST(KeyBinds, StateAndRepeatDecideWhichBindsRun) {
    CKeyBinds binds;
    struct Bind {
        const char* name;
        int32_t state;
        bool repeat;
    } table[] = {
        {"up", KEYSTATE_UP, false},   {"down", KEYSTATE_DOWN, false}, {"both", KEYSTATE_BOTH, false},
        {"down+repeat", KEYSTATE_DOWN, true}, {"both+repeat", KEYSTATE_BOTH, true},
    };
    std::vector<std::string> ran;
    std::vector<Strong<CRecordingFunction>> functions;
    for (const Bind& bind : table) {
        const std::string name = bind.name;
        functions.push_back(Recorder([&ran, name](const CArgumentArray&) { ran.push_back(name); }));
        binds.BindKey(KEY_A, bind.state, functions.back().Get(), bind.repeat, nullptr);
    }
    auto other = Recorder();
    binds.BindKey(KEY_B, KEYSTATE_BOTH, other.Get(), true, nullptr);

    struct Case {
        bool down;
        uint32_t repeat;
        std::vector<std::string> ran;
    } cases[] = {
        {true, 0, {"down", "both", "down+repeat", "both+repeat"}},
        {false, 0, {"up", "both", "both+repeat"}},
        {true, 1, {"down+repeat", "both+repeat"}},
        {false, 3, {"both+repeat"}},
        {true, 0xFFFFFFFFu, {"down+repeat", "both+repeat"}}, // the wire count is unsigned
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.down) + " repeat " + std::to_string(c.repeat));
        ran.clear();
        EXPECT_TRUE(binds.HandleKeyEvent(KeyEvent(KEY_A, c.down, c.repeat).Get(), nullptr));
        EXPECT_EQ(ran, c.ran);
    }
    EXPECT_FALSE(binds.HandleKeyEvent(KeyEvent(0x63, true).Get(), nullptr)) << "no bind for that key";
    EXPECT_EQ(other->GetCallCount(), 0u);
}

TEST(KeyBinds, MessagePayloadAndArguments) {
    CKeyBinds binds;
    auto function = Recorder();
    binds.BindKey(0x40000039, KEYSTATE_DOWN, function.Get(), false, nullptr);
    const uint8_t payload[] = {
        0x03,                   // down: bit 0 (the other bits mean nothing)
        0x39, 0x00, 0x00, 0x00, // scan code 57
        0x39, 0x00, 0x00, 0x40, // key code 0x40000039
        0x01, 0x20,             // modifiers 0x2001
        0x00, 0x00, 0x00, 0x00, // repeat count 0
    };
    auto pClient = MakeStrong<CThing>();
    for (size_t length = 0; length < sizeof(payload); ++length) {
        auto pShort = MakeStrong<CMemoryStream>(static_cast<const void*>(payload), length);
        EXPECT_FALSE(binds.HandleKeyEventMessage(pShort.Get(), pClient.Get())) << length << " bytes";
    }
    EXPECT_EQ(function->GetCallCount(), 0u);

    auto pWhole = MakeStrong<CMemoryStream>(static_cast<const void*>(payload), sizeof(payload));
    EXPECT_TRUE(binds.HandleKeyEventMessage(pWhole.Get(), pClient.Get()));
    binds.SetPassClient(true);
    pWhole->Seek(0, SEEK_ORIGIN_BEGIN);
    EXPECT_TRUE(binds.HandleKeyEventMessage(pWhole.Get(), pClient.Get()));
    ASSERT_EQ(function->GetCallCount(), 2u);
    EXPECT_EQ(function->GetCall(0).GetCount(), 1u) << "no client unless clients are passed";
    ASSERT_EQ(function->GetCall(1).GetCount(), 2u);
    EXPECT_EQ(function->GetCall(1).Get(1)->ToObject(), pClient.Get());
    auto* pEvent = dynamic_cast<CKeyEvent*>(function->GetCall(0).Get(0)->ToObject());
    ASSERT_NE(pEvent, nullptr);
    EXPECT_TRUE(pEvent->m_bDown);
    EXPECT_EQ(pEvent->m_ScanCode, 57);
    EXPECT_EQ(pEvent->m_KeyCode, 0x40000039);
    EXPECT_EQ(pEvent->m_ModState, 0x2001);
    EXPECT_EQ(pEvent->m_RepeatCount, 0);
    EXPECT_EQ(pEvent->m_pOwner, &binds);

    // The writer produces the same layout (with bit 0 only).
    auto pOut = MakeStrong<CUnlimitedStream>();
    CBinaryWriter writer(pOut.Get());
    ASSERT_TRUE(pEvent->Write(writer));
    std::vector<uint8_t> expected(payload, payload + sizeof(payload));
    expected[0] = 1;
    EXPECT_EQ(std::vector<uint8_t>(pOut->GetData(), pOut->GetData() + pOut->GetSize()), expected);
}

TEST(KeyBinds, RemovalByResource) {
    CKeyBinds binds;
    auto r1 = MakeStrong<CThing>(), r2 = MakeStrong<CThing>();
    auto f = Recorder();
    binds.BindKey(KEY_A, KEYSTATE_BOTH, f.Get(), false, r1.Get());
    binds.BindKey(KEY_A, KEYSTATE_BOTH, f.Get(), false, r2.Get());
    binds.BindKey(KEY_B, KEYSTATE_BOTH, f.Get(), false, r1.Get());
    binds.BindKey(KEY_B, KEYSTATE_BOTH, f.Get(), false, r2.Get());
    EXPECT_FALSE(binds.UnbindKey(0x63, nullptr));
    EXPECT_TRUE(binds.UnbindKey(KEY_A, r1.Get()));
    EXPECT_FALSE(binds.UnbindKey(KEY_A, r1.Get())) << "nothing left of that resource";
    EXPECT_EQ(binds.GetBindCount(), 3u);
    EXPECT_EQ(binds.UnbindAllKeys(r2.Get()), 2u);
    EXPECT_EQ(binds.GetBindCount(), 1u);
    EXPECT_TRUE(binds.UnbindKey(KEY_B, nullptr)) << "no resource: every bind of the key";
    EXPECT_EQ(binds.GetBindCount(), 0u);
}

// A bind that unbinds its own key is only marked: the binds after it in the same dispatch are still
// visited, and it is freed after the dispatch (ASan checks). Binds added during a dispatch wait for the
// next event.
TEST(KeyBinds, BindsChangingTheTableDuringADispatch) {
    CKeyBinds binds;
    auto r1 = MakeStrong<CThing>(), r2 = MakeStrong<CThing>();
    std::vector<std::string> ran;
    auto added = Recorder([&](const CArgumentArray&) { ran.push_back("added"); });
    auto later = Recorder([&](const CArgumentArray&) { ran.push_back("later"); });
    auto unbinding = Recorder([&](const CArgumentArray&) {
        ran.push_back("unbinding");
        EXPECT_TRUE(binds.UnbindKey(KEY_A, r1.Get()));
        EXPECT_EQ(binds.GetIterationDepth(), 1);
        binds.BindKey(KEY_A, KEYSTATE_BOTH, added.Get(), false, r2.Get());
        binds.BindKey(KEY_B, KEYSTATE_BOTH, added.Get(), false, r2.Get()); // another key's list grows
        binds.HandleKeyEvent(KeyEvent(KEY_B, true).Get(), nullptr);        // nested dispatch
    });
    binds.BindKey(KEY_A, KEYSTATE_BOTH, unbinding.Get(), false, r1.Get());
    binds.BindKey(KEY_A, KEYSTATE_BOTH, later.Get(), false, r2.Get());
    unbinding.Detach()->Release(); // the bind holds the only reference

    EXPECT_TRUE(binds.HandleKeyEvent(KeyEvent(KEY_A, true).Get(), nullptr));
    EXPECT_EQ(ran, (std::vector<std::string>{"unbinding", "added", "later"}));
    EXPECT_EQ(binds.GetIterationDepth(), 0);
    EXPECT_EQ(binds.GetBindCount(), 3u);

    ran.clear();
    binds.HandleKeyEvent(KeyEvent(KEY_A, false).Get(), nullptr);
    EXPECT_EQ(ran, (std::vector<std::string>{"later", "added"}));
}
