#include "Engine/BCrypt.h"

#include <crypt.h>
#include <openssl/crypto.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace Tessera3D {
namespace BCrypt {

namespace {

const char kAlphabet[] = "./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// Blowfish takes at most 18 words of key: 72 bytes.
constexpr size_t KEY_BYTES = 72;

bool IsBase64Character(char c) { return c != '\0' && strchr(kAlphabet, c) != nullptr; }

void WriteError(char* output) { strcpy(output, ERROR_STRING); }

} // namespace

void encode_base64(char* output, const uint8_t* data, size_t length) {
    char* out = output;
    for (size_t i = 0; i < length; i += 3) {
        const uint32_t c1 = data[i];
        *out++ = kAlphabet[c1 >> 2];
        if (i + 1 >= length) {
            *out++ = kAlphabet[(c1 & 0x03) << 4];
            break;
        }
        const uint32_t c2 = data[i + 1];
        *out++ = kAlphabet[((c1 & 0x03) << 4) | (c2 >> 4)];
        if (i + 2 >= length) {
            *out++ = kAlphabet[(c2 & 0x0F) << 2];
            break;
        }
        const uint32_t c3 = data[i + 2];
        *out++ = kAlphabet[((c2 & 0x0F) << 2) | (c3 >> 6)];
        *out++ = kAlphabet[c3 & 0x3F];
    }
    *out = '\0';
}

bool MakeSetting(unsigned cost, const uint8_t salt[SALT_BYTES], char* output) {
    if (cost < MIN_COST || cost > MAX_COST) return false;
    snprintf(output, OUTPUT_SIZE, "$2a$%2.2u$", cost);
    encode_base64(output + strlen(output), salt, SALT_BYTES);
    return true;
}

void bcrypt(const char* key, const char* setting, char* output) {
    if (!output) return;
    if (!key) key = "";
    if (!setting) {
        WriteError(output);
        return;
    }

    // Only the two versions we stand behind; everything else (including other crypt methods such as
    // "$1$" or "$6$") is refused here, before libxcrypt sees it.
    size_t position;
    bool original;
    if (strncmp(setting, "$2a$", 4) == 0) {
        position = 4;
        original = false;
    } else if (strncmp(setting, "$2$", 3) == 0) {
        position = 3;
        original = true;
    } else {
        WriteError(output);
        return;
    }
    const char* cost = setting + position;
    if (cost[0] < '0' || cost[0] > '9' || cost[1] < '0' || cost[1] > '9' || cost[2] != '$') {
        WriteError(output);
        return;
    }
    const unsigned rounds = static_cast<unsigned>((cost[0] - '0') * 10 + (cost[1] - '0'));
    if (rounds < MIN_COST || rounds > MAX_COST) {
        WriteError(output);
        return;
    }
    const char* salt = cost + 3;
    for (size_t i = 0; i < SALT_LENGTH; ++i) {
        if (!IsBase64Character(salt[i])) {
            WriteError(output);
            return;
        }
    }

    // libxcrypt always gets a clean "$2a$" setting.
    char clean[OUTPUT_SIZE];
    snprintf(clean, sizeof(clean), "$2a$%.2s$%.22s", cost, salt);

    // "$2a$" feeds the key with its terminator, cycled over 72 bytes; a longer key is cut there, which
    // bcrypt would do anyway (and libxcrypt refuses very long passphrases outright). "$2$" feeds the
    // key without its terminator: the same as "$2a$" over the key repeated to 72 bytes.
    char phrase[KEY_BYTES + 1];
    const size_t keyLength = strnlen(key, KEY_BYTES);
    if (original && keyLength > 0) {
        for (size_t i = 0; i < KEY_BYTES; ++i) phrase[i] = key[i % keyLength];
        phrase[KEY_BYTES] = '\0';
    } else {
        memcpy(phrase, key, keyLength);
        phrase[keyLength] = '\0';
    }

    std::unique_ptr<crypt_data> data(new (std::nothrow) crypt_data());
    const char* result = data ? crypt_rn(phrase, clean, data.get(), sizeof(crypt_data)) : nullptr;
    OPENSSL_cleanse(phrase, sizeof(phrase));
    // 7 header + 22 salt + 31 hash characters.
    if (!result || strncmp(result, "$2a$", 4) != 0 || strlen(result) != 60) {
        if (data) OPENSSL_cleanse(data.get(), sizeof(crypt_data));
        WriteError(output);
        return;
    }
    if (original)
        snprintf(output, OUTPUT_SIZE, "$2$%s", result + 4);
    else
        snprintf(output, OUTPUT_SIZE, "%s", result);
    OPENSSL_cleanse(data.get(), sizeof(crypt_data));
}

} // namespace BCrypt
} // namespace Tessera3D
