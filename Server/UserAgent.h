#pragma once
namespace Tessera3D { class Context; }

// "Tessera3D/1.2.0", then " (<system> <machine>)" from uname, then the server's own name and version,
// each addition after the first preceded by a blank.
void BuildUserAgent(Tessera3D::Context& context);
