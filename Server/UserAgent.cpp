#include "UserAgent.h"

#include "ServerVersion.h"

#include "Engine/Context.h"

#include <cstdio>
#include <sys/utsname.h>

void BuildUserAgent(Tessera3D::Context& context) {
    char text[256];
    snprintf(text, sizeof(text), "Tessera3D/%d.%d.%d", Tessera3D::ENGINE_VERSION_MAJOR, Tessera3D::ENGINE_VERSION_MINOR,
             Tessera3D::ENGINE_VERSION_PATCH);
    context.AddUserAgent(text);
    struct utsname name = {};
    uname(&name);
    snprintf(text, sizeof(text), " (%s %s)", name.sysname, name.machine);
    context.AddUserAgent(text);
    context.AddUserAgent(SERVER_USER_AGENT);
}
