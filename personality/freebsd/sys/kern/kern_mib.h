// The kern and hw values of FreeBSD's kern_mib.c: kern.argmax, hw.ncpu and hw.physmem.
#pragma once

int kern_argmax(int &argmax);
int hw_ncpu(int &ncpu);
int hw_physmem(unsigned long &bytes);
