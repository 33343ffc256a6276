#include "Multiplayer/MessageIds.h"

const char* GetMessageName(uint32_t id) {
    switch (id) {
#define TESSERA_MESSAGE_NAME(name, value) \
    case value: return #name;
        TESSERA_MESSAGES(TESSERA_MESSAGE_NAME)
#undef TESSERA_MESSAGE_NAME
    default: return nullptr;
    }
}
