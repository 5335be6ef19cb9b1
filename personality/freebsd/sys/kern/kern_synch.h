// kern.fscale, as FreeBSD's kern_synch.c exports FSCALE.
#pragma once

int kern_fscale(int &fscale);
