#pragma once
// The server-browser query protocol on the game port: datagrams starting FF FF "OGP" 0.
#include "QuerySnapshot.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tessera3D { class CUnlimitedStream; }

// True when the datagram belongs to the query protocol (at least two bytes, starting FF FF); such a
// datagram is consumed whether or not it is answered.
bool IsQueryDatagram(const uint8_t* pData, size_t size);

// Parses a request and writes its answer from the snapshot. False when the request gets no answer
// (cut short, another magic, another version).
bool WriteQueryAnswer(const uint8_t* pData, size_t size, const CQuerySnapshot& snapshot,
                      Tessera3D::CUnlimitedStream& answer);
