// kern.fscale: the unit of FreeBSD's fixed-point figures (load averages, %CPU), as kern_synch.c
// exports FSCALE.
#include "freebsd/sys/kern/kern_synch.h"

#include <sys/param.h>

int kern_fscale(int &fscale) {
    fscale = FSCALE;
    return 0;
}
