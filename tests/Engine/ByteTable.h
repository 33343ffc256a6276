#pragma once
// Helpers for expected-byte tables in tests.
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Parses "02 34 52 54" (whitespace-separated hex pairs) into bytes.
inline Bytes HexBytes(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i < text.size();) {
        if (isspace(static_cast<unsigned char>(text[i]))) { ++i; continue; }
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

inline Bytes ToBytes(const uint8_t* p, size_t n) { return Bytes(p, p + n); }
