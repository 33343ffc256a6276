#include "Engine/BCrypt.h"
#include "Engine/Hash.h"
#include "Engine/MemoryStream.h"
#include "Engine/Password.h"
#include "Engine/SHA256.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

using namespace Tessera3D;

namespace {

std::string Hex(const uint8_t* data, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

template <typename THash>
std::string Digest(const std::string& text) {
    uint8_t digest[THash::DIGEST_SIZE];
    EXPECT_TRUE(THash::Compute(text.data(), text.size(), digest));
    return Hex(digest, sizeof(digest));
}

// Feeding in two pieces at every split point must give the one-shot digest; a reused object too.
template <typename THash>
void ExpectPiecewiseMatches(const std::string& text) {
    const std::string expected = Digest<THash>(text);
    THash hash;
    for (size_t split = 0; split <= text.size(); ++split) {
        ASSERT_TRUE(hash.Init());
        ASSERT_TRUE(hash.Add(text.data(), split));
        ASSERT_TRUE(hash.Add(text.data() + split, text.size() - split));
        uint8_t digest[THash::DIGEST_SIZE];
        ASSERT_TRUE(hash.Finish(digest));
        EXPECT_EQ(Hex(digest, sizeof(digest)), expected) << split;
    }
    uint8_t digest[THash::DIGEST_SIZE];
    EXPECT_FALSE(hash.Finish(digest)) << "finishing twice without Init";
}

uint32_t ZlibCrc(const void* data, size_t length) {
    return static_cast<uint32_t>(crc32_z(0, static_cast<const Bytef*>(data), length));
}

} // namespace

TEST(CRC32, CheckValueAndRunningValue) {
    CRC32Hash fresh;
    EXPECT_EQ(fresh.GetRunningValue(), 0xFFFFFFFFu);
    EXPECT_EQ(fresh.GetHash(), 0u);

    CRC32Hash hash;
    hash.AddString("123456789", false);
    EXPECT_EQ(hash.GetHash(), 0xCBF43926u);
    EXPECT_EQ(hash.GetRunningValue(), ~0xCBF43926u);

    // Byte by byte, in arbitrary splits, continues the same register.
    CRC32Hash bytes;
    for (const char* p = "123456789"; *p; ++p) bytes.AddByte(static_cast<uint8_t>(*p));
    EXPECT_EQ(bytes.GetHash(), 0xCBF43926u);
    CRC32Hash split;
    split.AddString("1234", false);
    split.AddBytes("56789", 5);
    EXPECT_EQ(split.GetHash(), 0xCBF43926u);
    EXPECT_EQ(CRC32Hash::Compute("123456789"), 0xCBF43926u);
}

TEST(CRC32, StringFeedingRules) {
    struct Case {
        const char* what;
        const char* text;
        size_t length; // SIZE_MAX: the terminated overload
        bool lower;
        const char* same_as; // hashed as it is
    } cases[] = {
        {"lowered", "ABC", SIZE_MAX, true, "abc"},
        {"lowered, only letters change", "Ab-1_Z", SIZE_MAX, true, "ab-1_z"},
        {"not lowered", "ABC", SIZE_MAX, false, "ABC"},
        {"NUL ends the range", "a\0b", 3, false, "a"},
        {"length shorter than text", "abcdef", 3, false, "abc"},
        {"length shorter, lowered", "ABCDEF", 2, true, "ab"},
        {"length zero changes nothing", "abc", 0, false, ""},
        {"null text changes nothing", nullptr, SIZE_MAX, true, ""},
        {"null text with length", nullptr, 5, false, ""},
    };
    for (const Case& c : cases) {
        CRC32Hash hash;
        if (c.length == SIZE_MAX)
            hash.AddString(c.text, c.lower);
        else
            hash.AddString(c.text, c.length, c.lower);
        EXPECT_EQ(hash.GetHash(), ZlibCrc(c.same_as, strlen(c.same_as))) << c.what;
    }
    EXPECT_NE(CRC32Hash::Compute("ABC"), CRC32Hash::Compute("abc"));
}

TEST(CRC32, NameKeysIgnoreCaseAcrossLongNames) {
    EXPECT_EQ(CRC32Hash::NameKey("OnPlayerJoined"), CRC32Hash::NameKey("onplayerjoined"));
    EXPECT_EQ(CRC32Hash::NameKey("onPlayerJoined"), CRC32Hash::Compute("onplayerjoined"));
    EXPECT_EQ(CRC32Hash::NameKey(""), 0u);
    // Longer than any internal piece, so lowering must carry across pieces.
    std::string upper, lower;
    for (int i = 0; i < 1000; ++i) {
        upper += static_cast<char>('A' + i % 26);
        lower += static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(CRC32Hash::NameKey(upper.c_str()), ZlibCrc(lower.data(), lower.size()));
}

TEST(CRC32, StreamChecksumCoversTheWholeStreamInPieces) {
    // Larger than two pieces, with NUL bytes, and positioned away from the start.
    std::vector<uint8_t> data(2 * CRC32Hash::STREAM_PIECE_SIZE + 12345);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 7) % 251);
    auto stream = MakeStrong<CMemoryStream>(static_cast<const void*>(data.data()), data.size());
    stream->Seek(1000, SEEK_ORIGIN_BEGIN);
    uint32_t checksum = 0;
    ASSERT_TRUE(CRC32Hash::ComputeStream(stream.Get(), checksum));
    EXPECT_EQ(checksum, ZlibCrc(data.data(), data.size()));

    auto empty = MakeStrong<CMemoryStream>(static_cast<const void*>(data.data()), size_t{0});
    ASSERT_TRUE(CRC32Hash::ComputeStream(empty.Get(), checksum));
    EXPECT_EQ(checksum, 0u);
    EXPECT_FALSE(CRC32Hash::ComputeStream(nullptr, checksum));
}

TEST(MD5, Rfc1321Vectors) {
    struct Case { std::string text; const char* digest; } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) EXPECT_EQ(Digest<CMD5Hash>(c.text), c.digest) << c.text;
    ExpectPiecewiseMatches<CMD5Hash>(cases[6].text);
}

TEST(SHA256, Fips180Vectors) {
    struct Case { std::string text; const char* digest; } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) EXPECT_EQ(Digest<CSHA256>(c.text), c.digest) << c.text.substr(0, 20);
    ExpectPiecewiseMatches<CSHA256>(cases[3].text);
}

TEST(BCrypt, Base64AlphabetAndSetting) {
    const uint8_t salt[16] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    struct Case { std::vector<uint8_t> data; const char* text; } cases[] = {
        {{}, ""},
        {{0x00}, ".."},
        {{0xFF}, "9u"},
        {{0xFF, 0xFF}, "996"},
        {{0xFF, 0xFF, 0xFF}, "9999"},
        {std::vector<uint8_t>(salt, salt + 16), "KBCwKxOzLha2MUDgW0PjXe"},
    };
    for (const Case& c : cases) {
        char out[32];
        BCrypt::encode_base64(out, c.data.data(), c.data.size());
        EXPECT_STREQ(out, c.text);
    }

    char setting[BCrypt::OUTPUT_SIZE];
    ASSERT_TRUE(BCrypt::MakeSetting(10, salt, setting));
    EXPECT_STREQ(setting, "$2a$10$KBCwKxOzLha2MUDgW0PjXe");
    ASSERT_TRUE(BCrypt::MakeSetting(4, salt, setting));
    EXPECT_STREQ(setting, "$2a$04$KBCwKxOzLha2MUDgW0PjXe");
    EXPECT_FALSE(BCrypt::MakeSetting(3, salt, setting));
    EXPECT_FALSE(BCrypt::MakeSetting(32, salt, setting));
}

TEST(BCrypt, KnownHashesOfBothVersions) {
    const std::string dots = "$05$......................";
    const std::string abc24 = [] { std::string s; for (int i = 0; i < 24; ++i) s += "abc"; return s; }();
    struct Case { std::string key; std::string setting; const char* hash; } cases[] = {
        {"U*U", "$2a$05$CCCCCCCCCCCCCCCCCCCCC.", "$2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"},
        {"abc", "$2a" + dots, "$2a$05$......................ev6gDwpVye3oMCUpLY85aTpfBNHD0Ga"},
        // "$2$" leaves the terminator out of the key, so "abc" is "abcabc..." over 72 bytes.
        {"abc", "$2" + dots, "$2$05$......................XuQjdH.wPVNUZ/bOfstdW/FqB8QSjte"},
        {abc24, "$2a" + dots, "$2a$05$......................XuQjdH.wPVNUZ/bOfstdW/FqB8QSjte"},
        {"", "$2" + dots, "$2$05$......................J2ihDv8vVf7QZ9BsaRrKyqs2tkn55Yq"},
        // A stored hash is its own setting.
        {"abc", "$2a$05$......................ev6gDwpVye3oMCUpLY85aTpfBNHD0Ga",
         "$2a$05$......................ev6gDwpVye3oMCUpLY85aTpfBNHD0Ga"},
    };
    for (const Case& c : cases) {
        char out[BCrypt::OUTPUT_SIZE];
        BCrypt::bcrypt(c.key.c_str(), c.setting.c_str(), out);
        EXPECT_STREQ(out, c.hash) << c.key.substr(0, 8) << " " << c.setting;
    }
}

TEST(BCrypt, LongKeysAreCutAtBlowfishsLimit) {
    // Only 72 key bytes count; a key far longer than libxcrypt accepts must still hash the same way.
    const std::string key72(72, 'k');
    const std::string key600 = key72 + std::string(528, 'x');
    char a[BCrypt::OUTPUT_SIZE], b[BCrypt::OUTPUT_SIZE];
    BCrypt::bcrypt(key72.c_str(), "$2a$04$......................", a);
    BCrypt::bcrypt(key600.c_str(), "$2a$04$......................", b);
    EXPECT_EQ(strlen(a), 60u);
    EXPECT_STREQ(a, b);
}

TEST(BCrypt, RefusedSettingsGiveTheErrorString) {
    const char* settings[] = {
        "$2b$04$......................",  // other version letters, though libxcrypt knows them
        "$2y$04$......................",
        "$2x$04$......................",
        "$1$04$",                           // MD5-crypt must never run through here
        "$6$saltsalt$",                     // nor SHA-512-crypt
        "$2a$03$......................",  // cost below 4
        "$2a$32$......................",  // cost above 31
        "$2a$4$.......................",  // one-digit cost
        "$2a$0a$......................",
        "$2a$04......................",   // no "$" after the cost
        "$2a$04$.....................",   // 21 salt characters
        "$2a$04$..........!...........",  // outside the alphabet
        "$2$",
        "",
    };
    for (const char* setting : settings) {
        char out[BCrypt::OUTPUT_SIZE];
        BCrypt::bcrypt("password", setting, out);
        EXPECT_STREQ(out, ":") << setting;
    }
    char out[BCrypt::OUTPUT_SIZE];
    BCrypt::bcrypt("password", nullptr, out);
    EXPECT_STREQ(out, ":");
}

class StoredPassword : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(s_Record.Set("secret", 4));
        char hash[BCrypt::OUTPUT_SIZE];
        BCrypt::bcrypt("secret", "$2$04$abcdefghijklmnopqrstuu", hash);
        s_Original = std::string("b") + hash;
    }
    static CStoredPassword s_Record;
    static std::string s_Original;
};
CStoredPassword StoredPassword::s_Record;
std::string StoredPassword::s_Original;

TEST_F(StoredPassword, RecordLayout) {
    ASSERT_TRUE(s_Record.IsSet());
    EXPECT_EQ(s_Record.GetType(), 'b');
    EXPECT_EQ(std::string(s_Record.GetHash()).substr(0, 7), "$2a$04$");
    EXPECT_EQ(strlen(s_Record.GetHash()), 60u);
    EXPECT_EQ(s_Record.GetLength(), 61u);
    EXPECT_EQ(std::string(s_Record.GetRecord()), std::string("b") + s_Record.GetHash());
}

TEST_F(StoredPassword, AcceptedAndRefusedForms) {
    const std::string good = s_Record.GetRecord();
    const std::string tail = good.substr(5); // after "b$2a$"
    struct Case { const char* what; std::string stored; const char* password; bool verifies; } cases[] = {
        {"own record", good, "secret", true},
        {"original version", s_Original, "secret", true},
        {"wrong password", good, "Secret", false},
        {"empty password", good, "", false},
        {"original version, wrong password", s_Original, "secret2", false},
        // Hashes that really are valid for these versions must still be refused.
        {"version 2b", "b$2b$" + tail, "secret", false},
        {"version 2y", "b$2y$" + tail, "secret", false},
        {"MD5-crypt shaped like a record", "b$1$04$AphVR94X9Ly8DfiVnM0gR/", "password", false},
        {"major version 3", "b$3a$" + tail, "secret", false},
        {"no type byte", good.substr(1), "secret", false},
        {"other type byte", "x" + good.substr(1), "secret", false},
        {"cost 03", "b$2a$03" + good.substr(7), "secret", false},
        {"cost 32", "b$2a$32" + good.substr(7), "secret", false},
        {"short salt", good.substr(0, 8 + 21), "secret", false},
        {"truncated hash", good.substr(0, good.size() - 1), "secret", false},
        {"longer hash", good + "x", "secret", false},
        {"empty record", "", "secret", false},
    };
    for (const Case& c : cases) EXPECT_EQ(VerifyPassword(c.password, c.stored.c_str()), c.verifies) << c.what;
    EXPECT_FALSE(VerifyPassword(nullptr, good.c_str()));
    EXPECT_FALSE(VerifyPassword("secret", nullptr));
    EXPECT_TRUE(s_Record.Verify("secret"));
    EXPECT_FALSE(s_Record.Verify("secreT"));
}

TEST_F(StoredPassword, SaltsDifferAndEmptyPasswordClears) {
    CStoredPassword second;
    ASSERT_TRUE(second.Set("secret", 4));
    EXPECT_STRNE(second.GetHash(), s_Record.GetHash());
    EXPECT_TRUE(second.Verify("secret"));

    ASSERT_TRUE(second.Set(""));
    EXPECT_FALSE(second.IsSet());
    EXPECT_EQ(second.GetLength(), 0u);
    EXPECT_EQ(second.GetType(), 0);
    EXPECT_FALSE(second.Verify(""));
    second.Set("secret", 4);
    ASSERT_TRUE(second.Set(nullptr));
    EXPECT_FALSE(second.IsSet());

    // A failed hash leaves a record that verifies nothing rather than no password at all.
    EXPECT_FALSE(second.Set("secret", 3));
    EXPECT_TRUE(second.IsSet());
    EXPECT_FALSE(second.Verify("secret"));
}

TEST_F(StoredPassword, DefaultCostIsTen) {
    CStoredPassword record;
    ASSERT_TRUE(record.Set("hunter2"));
    EXPECT_EQ(std::string(record.GetHash()).substr(0, 7), "$2a$10$");
    EXPECT_TRUE(record.Verify("hunter2"));
}
