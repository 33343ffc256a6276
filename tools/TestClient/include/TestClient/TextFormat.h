#pragma once
// Small text helpers of the client's output: hex dumps, quoted texts, hex input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// "02 34 52 54"; beyond maxBytes the rest is summarised as "... (N more)".
std::string HexString(const uint8_t* pData, size_t size, size_t maxBytes = SIZE_MAX);
inline std::string HexString(const std::vector<uint8_t>& bytes, size_t maxBytes = SIZE_MAX) {
    return HexString(bytes.data(), bytes.size(), maxBytes);
}

// The text in double quotes; quotes, backslashes and bytes outside printable ASCII are escaped
// (\" \\ \n \r \t \0 \xNN), so a line stays one line whatever the server sent.
std::string QuoteText(std::string_view text);

// Hex digits, optionally separated by spaces, colons or commas ("0a 0B", "0a0b"); false for an odd
// digit count or any other character.
bool ParseHex(std::string_view text, std::vector<uint8_t>& bytes);
