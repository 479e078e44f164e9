/* Preloaded into 32-bit Wine when it runs under qemu-i386 (user mode, qemu
   7.2) on a kernel that runs no i386 programs; see scripts/wine32/wine32.
   It mends three ways in which qemu's user mode differs from the kernel that
   Wine relies on. Built without any C library headers, so that plain gcc
   makes it with no i386 development packages:
     gcc -m32 -O2 -fPIC -shared -nostdlib -o qemu_shim.so qemu_shim.c
   The few C library functions it calls are found in the process at run time.

   1. MAP_FIXED_NOREPLACE: qemu takes it as a mere hint and may map
      elsewhere. Here a miss is unmapped and fails with EEXIST, as on the
      kernel. Without this Wine's reservation of its address space made
      65,708 mmap calls over 2.5 minutes and then failed ("failed to map the
      shared user data").
   2. Segments per thread: qemu keeps one GDT for all guest threads, so the
      TLS entries set_thread_area writes are shared, and a thread reloading
      %gs (the C library's TLS) or %fs (Wine's TEB) gets the base of whichever
      thread wrote the entry last; a Wine program with two threads crashed.
      The LDT is per process too, but its entries are distinct:
      - set_thread_area through syscall() fails here, so Wine keeps each
        thread's TEB in an LDT entry of its own (its own fallback);
      - each thread's %gs moves to an LDT entry of its own (from 4096 up;
        Wine's start at 512): the main thread's when this library loads, a
        new thread's before its start routine runs;
      - pthread_create briefly puts the creator back on the GDT entry, which
        the C library's clone() rewrites for the child, with signals blocked
        and one creator at a time.
   3. Fault codes: qemu loses the trap number of a guest page fault (the
      signal frame says -1), and Wine then reports every access violation as
      an illegal instruction (c000001d rather than c0000005), which breaks the
      exception handlers Wine's own functions rely on. The SIGSEGV handler
      Wine installs is wrapped to put back 14 (page fault) or 13 (general
      protection). */

#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define ENOSYS 38
#define NR_munmap 91
#define NR_modify_ldt 123
#define NR_rt_sigprocmask 175
#define NR_mmap2 192
#define NR_set_thread_area 243
#define SIG_BLOCK 0
#define SIG_SETMASK 2
#define LDT_FIRST 4096
#define LDT_COUNT 4096
#define RTLD_NEXT ((void *)-1l)

extern int *__errno_location(void);
extern void *dlsym(void *handle, const char *name);
extern void *malloc(__SIZE_TYPE__ size);
extern void free(void *p);

/* System call n with up to six arguments, straight to qemu. The sixth goes
   in %ebp, which the compiler will not assign, so it is loaded (with the
   call number) through memory and %ebp restored afterwards. */
static long raw6(long n, long a, long b, long c, long d, long e, long f)
{
    long ret;
    long nf[2] = {f, n};
    __asm__ volatile("push %%ebp\n\t"
                     "mov 0(%%eax), %%ebp\n\t"
                     "mov 4(%%eax), %%eax\n\t"
                     "int $0x80\n\t"
                     "pop %%ebp"
                     : "=a"(ret)
                     : "a"(nf), "b"(a), "c"(b), "d"(c), "S"(d), "D"(e)
                     : "memory");
    return ret;
}

/* A raw result as the C library returns it: -1 with errno for -4095..-1. */
static long set_errno(long r)
{
    if (r < 0 && r > -4096) { *__errno_location() = (int)-r; return -1; }
    return r;
}

/* ---- 1. MAP_FIXED_NOREPLACE ---- */

void *mmap64(void *addr, unsigned long len, int prot, int flags, int fd, long long off)
{
    long p;
    if (off & 4095) { *__errno_location() = 22; return (void *)-1; }
    p = set_errno(raw6(NR_mmap2, (long)addr, (long)len, prot, flags & ~MAP_FIXED_NOREPLACE,
                       fd, (long)(unsigned long)(off >> 12)));
    if (p == -1) return (void *)-1;
    if ((flags & MAP_FIXED_NOREPLACE) && (void *)p != addr) {
        raw6(NR_munmap, p, (long)len, 0, 0, 0, 0);
        *__errno_location() = EEXIST;
        return (void *)-1;
    }
    return (void *)p;
}

void *mmap(void *addr, unsigned long len, int prot, int flags, int fd, long off)
{
    return mmap64(addr, len, prot, flags, fd, (long long)off);
}

/* ---- 2. per-thread segments ---- */

struct user_desc { unsigned entry, base, limit, flags; };
#define DESC_FLAGS 0x51   /* seg_32bit, limit_in_pages, useable */

static unsigned gdt_tls_entry;          /* glibc's GDT entry (12 under qemu) */
static volatile unsigned ldt_used[LDT_COUNT / 32];
static volatile int create_lock;

static unsigned get_gs(void) { unsigned s; __asm__ volatile("movw %%gs, %w0" : "=r"(s)); return s & 0xffff; }
static void set_gs(unsigned s) { __asm__ volatile("movw %w0, %%gs" : : "r"(s) : "memory"); }
static unsigned tls_base(void) { unsigned b; __asm__ volatile("movl %%gs:0, %0" : "=r"(b)); return b; }

/* Moves the calling thread's %gs to an LDT entry of its own. */
static void gs_to_ldt(void)
{
    unsigned i, base = tls_base();
    for (i = 0; i < LDT_COUNT; i++) {
        unsigned bit = 1u << (i & 31), old = ldt_used[i / 32];
        if (old & bit) continue;
        if (!__sync_bool_compare_and_swap(&ldt_used[i / 32], old, old | bit)) { i--; continue; }
        {
            struct user_desc d = {LDT_FIRST + i, base, 0xfffff, DESC_FLAGS};
            if (raw6(NR_modify_ldt, 0x11, (long)&d, sizeof d, 0, 0, 0) != 0) return;
            set_gs(((LDT_FIRST + i) << 3) | 7);
        }
        return;
    }
}

__attribute__((constructor)) static void init(void)
{
    unsigned gs = get_gs();
    if (!gs || (gs & 4)) return;        /* not on a GDT entry: nothing to do */
    gdt_tls_entry = gs >> 3;
    gs_to_ldt();
}

long syscall(long n, long a, long b, long c, long d, long e, long f)
{
    if (n == NR_set_thread_area && gdt_tls_entry) {
        *__errno_location() = ENOSYS;   /* Wine: take the LDT for the TEB */
        return -1;
    }
    return set_errno(raw6(n, a, b, c, d, e, f));
}

struct start { void *(*fn)(void *); void *arg; unsigned mask[2]; };

static void *start_thread(void *p)
{
    struct start s = *(struct start *)p;
    free(p);
    gs_to_ldt();
    raw6(NR_rt_sigprocmask, SIG_SETMASK, (long)s.mask, 0, 8, 0, 0);
    return s.fn(s.arg);
}

int pthread_create(void *thread, const void *attr, void *(*fn)(void *), void *arg)
{
    static int (*real)(void *, const void *, void *(*)(void *), void *);
    unsigned all[2] = {~0u, ~0u}, mask[2], my_gs;
    struct start *s;
    int r;

    if (!real) real = (int (*)(void *, const void *, void *(*)(void *), void *))dlsym(RTLD_NEXT, "pthread_create");
    if (!gdt_tls_entry || !(get_gs() & 4)) return real(thread, attr, fn, arg);
    if (!(s = malloc(sizeof *s))) return 11; /* EAGAIN */
    raw6(NR_rt_sigprocmask, SIG_BLOCK, (long)all, (long)mask, 8, 0, 0);
    s->fn = fn; s->arg = arg; s->mask[0] = mask[0]; s->mask[1] = mask[1];
    while (__sync_lock_test_and_set(&create_lock, 1)) __asm__ volatile("pause");
    my_gs = get_gs();
    {
        struct user_desc d = {gdt_tls_entry, tls_base(), 0xfffff, DESC_FLAGS};
        raw6(NR_set_thread_area, (long)&d, 0, 0, 0, 0, 0);
        set_gs((gdt_tls_entry << 3) | 3);
    }
    r = real(thread, attr, start_thread, s);
    set_gs(my_gs);
    __sync_lock_release(&create_lock);
    raw6(NR_rt_sigprocmask, SIG_SETMASK, (long)mask, 0, 8, 0, 0);
    if (r) free(s);
    return r;
}

/* ---- 3. fault codes ---- */

#define SIGSEGV 11
#define SA_SIGINFO 4
struct k_sigaction_libc { void (*handler)(int, void *, void *); unsigned mask[32]; int flags; void (*restorer)(void); };
static void (*volatile segv_handler)(int, void *, void *);

static void segv_with_trapno(int sig, void *info, void *uc)
{
    int code = ((int *)info)[2];                      /* si_code */
    unsigned *gregs = (unsigned *)((char *)uc + 20);  /* uc_mcontext.gregs */
    if (gregs[12] == 0xffffffffu) gregs[12] = (code == 1 || code == 2) ? 14 : 13;
    segv_handler(sig, info, uc);
}

int sigaction(int sig, const void *act, void *oldact)
{
    static int (*real)(int, const void *, void *);
    if (!real) real = (int (*)(int, const void *, void *))dlsym(RTLD_NEXT, "sigaction");
    if (sig == SIGSEGV && act && gdt_tls_entry) {
        const struct k_sigaction_libc *a = act;
        if (a->flags & SA_SIGINFO) {
            struct k_sigaction_libc w = *a;
            segv_handler = a->handler;
            w.handler = segv_with_trapno;
            return real(sig, &w, oldact);
        }
    }
    return real(sig, act, oldact);
}
