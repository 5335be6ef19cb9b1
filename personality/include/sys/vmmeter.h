/* FreeBSD <sys/vmmeter.h>: the system-wide memory totals of vm.vmtotal. */
#pragma once
#include <sys/types.h>

/* Memory sizes are in pages. */
struct vmtotal {
    uint64_t t_vm;      /* total virtual memory */
    uint64_t t_avm;     /* active virtual memory */
    uint64_t t_rm;      /* total real memory in use */
    uint64_t t_arm;     /* active real memory */
    uint64_t t_vmshr;   /* shared virtual memory */
    uint64_t t_avmshr;  /* active shared virtual memory */
    uint64_t t_rmshr;   /* shared real memory */
    uint64_t t_armshr;  /* active shared real memory */
    uint64_t t_free;    /* free memory pages */
    int16_t t_rq;       /* length of the run queue */
    int16_t t_dw;       /* threads in disk wait */
    int16_t t_pw;       /* threads in page wait */
    int16_t t_sl;       /* threads sleeping in core */
    int16_t t_sw;       /* swapped out runnable/short block threads */
    uint16_t t_pad[3];
};

#ifdef __cplusplus
static_assert(sizeof(struct vmtotal) == 88, "struct vmtotal is 88 bytes");
static_assert(__builtin_offsetof(struct vmtotal, t_rmshr) == 48 && __builtin_offsetof(struct vmtotal, t_rq) == 72,
              "struct vmtotal has FreeBSD's layout");
#endif
