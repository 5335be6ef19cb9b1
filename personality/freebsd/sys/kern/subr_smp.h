// hw.ncpu, FreeBSD's mp_ncpus (subr_smp.c): the CPUs online.
#pragma once

int hw_ncpu(int &ncpu);
