#include "TestClient/TextFormat.h"

#include <cstdio>

std::string HexString(const uint8_t* pData, size_t size, size_t maxBytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    const size_t shown = size < maxBytes ? size : maxBytes;
    std::string text;
    text.reserve(shown * 3 + 24);
    for (size_t i = 0; i < shown; ++i) {
        if (i) text += ' ';
        text += kDigits[pData[i] >> 4];
        text += kDigits[pData[i] & 15];
    }
    if (shown < size) {
        char more[40];
        snprintf(more, sizeof(more), "%s... (%zu more)", shown ? " " : "", size - shown);
        text += more;
    }
    return text;
}

std::string QuoteText(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\0': out += "\\0"; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += static_cast<char>(c);
            } else {
                char escaped[5];
                snprintf(escaped, sizeof(escaped), "\\x%02X", c);
                out += escaped;
            }
        }
    }
    out += '"';
    return out;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool ParseHex(std::string_view text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ':' || c == ',') {
            if (high >= 0) return false; // a separator inside a byte
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0;
}
