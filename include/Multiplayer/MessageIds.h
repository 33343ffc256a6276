#pragma once
// Every message between client and server: its id on the wire (after the magic of the header).
// Unless noted, server messages go with priority 3 (low), reliable, on channel 0.
#include <cstdint>

// X(name, id) for every message, with its direction and any delivery other than the default.
#define TESSERA_MESSAGES(X) \
    X(PACKET_CONNECT_REQUEST, 1) /* c->s */ \
    X(PACKET_CONNECT_ACCEPTED, 2) /* s->c */ \
    X(PACKET_CLIENT_READY, 3) /* c->s */ \
    X(PACKET_ELEMENT_SYNC, 4) /* both; configured sync delivery, channel 1 */ \
    X(PACKET_LOCAL_PLAYER, 5) /* s->c */ \
    X(PACKET_CHAT, 6) /* both */ \
    X(PACKET_COMMAND, 7) /* c->s */ \
    X(PACKET_RESOURCE_LIST, 8) /* s->c */ \
    X(PACKET_RESOURCE_STATE, 9) /* s->c */ \
    X(PACKET_NETWORK_EVENT, 10) /* both */ \
    X(PACKET_ELEMENT_CREATE, 11) /* s->c */ \
    X(PACKET_ELEMENT_DELETE, 12) /* both */ \
    X(PACKET_ELEMENT_SYNCER, 13) /* s->c */ \
    X(PACKET_JOIN_COMPLETE, 14) /* s->c */ \
    X(PACKET_ELEMENT_PARENT, 15) /* s->c */ \
    X(PACKET_DISCONNECT_REQUEST, 16) /* c->s */ \
    X(PACKET_GAME_MODE, 17) /* s->c */ \
    X(PACKET_ELEMENT_NAME, 18) /* s->c */ \
    X(PACKET_CLIENT_LIST, 19) /* s->c */ \
    X(PACKET_CLIENT_JOINED, 20) /* s->c */ \
    X(PACKET_CLIENT_LEFT, 21) /* s->c */ \
    X(PACKET_ELEMENT_DATA, 22) /* s->c */ \
    X(PACKET_ELEMENT_DATA_CLEAR, 23) /* s->c */ \
    X(PACKET_CLIENT_DATA, 24) /* s->c */ \
    X(PACKET_CLIENT_DATA_CLEAR, 25) /* s->c */ \
    X(PACKET_CLIENT_PLAYER, 26) /* s->c */ \
    X(PACKET_KEY_EVENT, 27) /* c->s */ \
    X(PACKET_ELEMENT_DIMENSION, 28) /* s->c */ \
    X(PACKET_SERVER_NAME, 29) /* s->c */ \
    X(PACKET_CVARS, 30) /* s->c */ \
    X(PACKET_REQUEST_SYNCER, 31) /* c->s */ \
    X(PACKET_ELEMENT_STREAMING, 33) /* c->s */ \
    X(PACKET_CLIENT_UPDATE, 34) /* s->c */ \
    X(PACKET_PED_VEHICLE_STATE, 101) /* s->c */ \
    X(PACKET_WORLD_CLOCK, 103) /* s->c */ \
    X(PACKET_WORLD_WEATHER, 104) /* s->c */ \
    X(PACKET_ENTITY_MODEL, 105) /* s->c */ \
    X(PACKET_PED_VEHICLE_ACTION, 106) /* both */ \
    X(PACKET_PED_WASTED, 107) /* c->s */ \
    X(PACKET_FADE_CAMERA, 108) /* s->c */ \
    X(PACKET_WORLD_TIMER, 109) /* s->c */ \
    X(PACKET_WORLD_BRIDGE, 110) /* s->c */ \
    X(PACKET_LOCAL_VEHICLE_CREATED, 111) /* c->s */ \
    X(PACKET_LOCAL_ELEMENT_ACCEPTED, 112) /* s->c */ \
    X(PACKET_LOCAL_PED_CREATED, 116) /* c->s */ \
    X(PACKET_VEHICLE_COLOURS, 117) /* s->c */ \
    X(PACKET_VEHICLE_FIX, 118) /* s->c */ \
    X(PACKET_VEHICLE_LOCK, 119) /* s->c */ \
    X(PACKET_VEHICLE_ENGINE, 120) /* both */ \
    X(PACKET_VEHICLE_TOGGLE, 121) /* both */ \
    X(PACKET_PED_FALL, 123) /* both */ \
    X(PACKET_PED_JUMP, 124) /* both */ \
    X(PACKET_PED_CROUCH, 125) /* both */ \
    X(PACKET_PED_UNCROUCH, 126) /* both */ \
    X(PACKET_PED_ACTION_A, 128) /* both */ \
    X(PACKET_PED_GIVE_WEAPON, 129) /* s->c */ \
    X(PACKET_WORLD_MINUTE_DURATION, 130) /* s->c */ \
    X(PACKET_PICKUP_COLLECTED, 132) /* c->s */ \
    X(PACKET_IV_PEER_DATA, 133) /* both; unsequenced, unreliable, channel 2 */ \
    X(PACKET_IV_SESSION_EPISODE, 134) /* s->c */ \
    X(PACKET_IV_QUICK_MATCH, 135) /* s->c */ \
    X(PACKET_IV_HOST_SESSION, 136) /* s->c */ \
    X(PACKET_IV_JOIN_SESSION, 137) /* s->c */ \
    X(PACKET_IV_SESSION_INFO, 138) /* c->s */ \
    X(PACKET_IV_REQUEST_SESSION, 139) /* c->s */ \
    X(PACKET_IV_HOST_DATA, 140) /* c->s */ \
    X(PACKET_IV_QUERY_HOST_DATA, 141) /* c->s */ \
    X(PACKET_IV_HOST_DATA_REPLY, 142) /* s->c */ \
    X(PACKET_IV_PEER_MESSAGE, 143) /* both; unsequenced, unreliable, channel 2 */ \
    X(PACKET_PED_ACTION_B, 144) /* both */ \
    X(PACKET_PED_ACTION_C, 145) /* both */ \
    X(PACKET_PED_ACTION_D, 146) /* both */ \
    X(PACKET_PED_ACTION_E, 147) /* both */ \
    X(PACKET_PED_ACTION_F, 148) /* both */ \
    X(PACKET_GAME_FILE_CHECK, 149) /* both */ \
    X(PACKET_ENTITY_INTERIOR, 150) /* s->c */ \
    X(PACKET_CAMERA_INTERIOR, 151) /* both */ \
    X(PACKET_IV_SESSION_JOINED, 152) /* c->s */ \
    X(PACKET_TRAINERS, 153) /* s->c */ \
    X(PACKET_IV_NETWORK_EVENT, 154) /* c->s */ \
    X(PACKET_PLAYER_POSITION, 180) /* s->c */

enum eMessageId : uint32_t {
#define TESSERA_MESSAGE_ENUM(name, id) name = id,
    TESSERA_MESSAGES(TESSERA_MESSAGE_ENUM)
#undef TESSERA_MESSAGE_ENUM
};

// The message's name as listed above, or null for an id the catalogue does not know.
const char* GetMessageName(uint32_t id);

// Reasons a client is disconnected with.
enum eDisconnectReason : uint32_t {
    DISCONNECT_SERVER_FULL = 1,
    DISCONNECT_UNSUPPORTED_CLIENT = 2,
    DISCONNECT_WRONG_GAME = 3,
    DISCONNECT_WRONG_PASSWORD = 4,
    DISCONNECT_QUIT = 6,
    DISCONNECT_BANNED = 7,
    DISCONNECT_FAILED = 8,
    DISCONNECT_INVALID_NICKNAME = 9,
    DISCONNECT_NICKNAME_IN_USE = 12,
    DISCONNECT_KICKED = 13,
    DISCONNECT_FILE_CHECK_FAILED = 14,
};

enum eChatType : int32_t { CHAT_TYPE_NONE = 0, CHAT_TYPE_CHAT = 1, CHAT_TYPE_INFO = 2, CHAT_TYPE_DEBUG = 3 };

// The game protocol version this server speaks.
constexpr uint32_t NETWORK_PROTOCOL_VERSION = 29;
