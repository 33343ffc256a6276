#include "StartupPause.h"

#include <cstdio>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int kNonTerminalWaitMs = 3000;
}

void PauseForKey() {
    printf("Press any key to continue ...");
    fflush(stdout);

    termios saved;
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (!terminal) perror("tcsetattr()");
    if (terminal) {
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) < 0) perror("tcsetattr ICANON");
    }

    pollfd input = {STDIN_FILENO, POLLIN, 0};
    if (terminal || poll(&input, 1, kNonTerminalWaitMs) > 0) {
        char key;
        if (read(STDIN_FILENO, &key, 1) < 0) perror("read()");
    }

    if (terminal && tcsetattr(STDIN_FILENO, TCSADRAIN, &saved) < 0) perror("tcsetattr ~ICANON");
    printf("\n");
    fflush(stdout);
}
