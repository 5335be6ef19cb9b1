// The kern and hw values of FreeBSD's kern_mib.c: kern.argmax, kern.pid_max, hw.ncpu,
// hw.physmem and hw.availpages.
#pragma once

int kern_argmax(int &argmax);
int hw_ncpu(int &ncpu);
int hw_physmem(unsigned long &bytes);
int kern_pid_max(int &pid_max);
int hw_availpages(long &pages);
