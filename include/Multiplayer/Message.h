#pragma once
// Common ground of the message structures: each message is a struct with its id, its fields, and a
// reader and a writer that sit next to each other in the source and follow its byte layout.
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/Packet.h"
#include "Engine/References.h"
#include "Multiplayer/MessageIds.h"

// Builds the whole message: header, then the payload the struct writes. Null when a field cannot be
// written.
template <typename TMessage>
Tessera3D::Strong<Tessera3D::Packet> BuildMessage(const TMessage& message) {
    auto pPacket = Tessera3D::MakeStrong<Tessera3D::Packet>(TMessage::ID);
    Tessera3D::CBinaryWriter writer(pPacket.Get());
    if (!message.Write(writer) || writer.HasError()) return nullptr;
    return pPacket;
}

// Decodes a payload whole; false when it is cut short or a field is out of range.
template <typename TMessage>
bool ReadMessage(Tessera3D::Stream* pPayload, TMessage& message) {
    Tessera3D::CBinaryReader reader(pPayload);
    return message.Read(reader) && !reader.HasError();
}

// A message without payload.
template <uint32_t Id>
struct CEmptyMessage {
    static constexpr uint32_t ID = Id;
    bool Write(Tessera3D::CBinaryWriter&) const { return true; }
    bool Read(Tessera3D::CBinaryReader&) { return true; }
};
