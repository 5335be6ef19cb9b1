#include "kern.h"

#include <unistd.h>

#include <cerrno>

// The host's limit on the bytes of arguments and environment of exec.
int kern_argmax(SysctlArgs args, SysctlReply &reply) {
    if (!args.empty())
        return ENOTDIR;
    int argmax = static_cast<int>(sysconf(_SC_ARG_MAX));
    reply.out(&argmax, sizeof(argmax));
    return 0;
}
