#pragma once

// After a failed start: "Press any key to continue ...", then one byte from standard input. A
// terminal waits for a key; anything else (a pipe, /dev/null, a service manager) is given a few
// seconds and never hangs the process.
void PauseForKey();
