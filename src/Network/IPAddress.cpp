#include "Network/IPAddress.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cstring>

namespace Tessera3D {

bool CIPAddress::ToString(char* szBuffer, size_t size) const {
    if (!szBuffer || size == 0) return false;
    szBuffer[0] = '\0';
    if (m_Family != FAMILY_IPV4) return false;
    in_addr address;
    address.s_addr = m_IPv4;
    char text[INET_ADDRSTRLEN];
    if (!inet_ntop(AF_INET, &address, text, sizeof(text))) return false;
    const size_t length = std::min(strlen(text), size - 1);
    memcpy(szBuffer, text, length);
    szBuffer[length] = '\0';
    return true;
}

} // namespace Tessera3D
