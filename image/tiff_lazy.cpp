// The TIFF library, loaded on the first TIFF call instead of at start.
//
// libtiff brings its codecs' libraries with it (WebP, Zstandard, LZMA, LERC,
// JBIG).  Linked into the program, the dynamic loader maps and relocates
// those six at every start: some 0.4 ms of CPU before main, a sixth of the
// program's whole start, paid by every run although only TIFF input and
// GeoTIFF output need the library.  So the program is
// not linked with it: the functions the TIFF reader and the GeoTIFF writer
// call are defined here under their own names, with the library's own
// declarations, and each forwards to the library's function, looked up once
// in the library opened with dlopen on the first call.  The variadic field
// calls forward to the library's va_list forms.
//
// The library is opened RTLD_LOCAL, so its symbols never shadow these; the
// lookups go through its handle, so they find its functions even in a
// program that links the library as well, where these definitions take the
// calls first.
//
// Without the library every call fails as libtiff's own calls fail on a
// file it cannot use (no handle, no field, a size of 0), and
// tiff_library_problem says which library could not be loaded and why, so
// the reader and the writer refuse a TIFF file with a message naming the
// file and the library, and every other format reads and writes as before.
#include "image/tiff_lazy.h"

#include <tiffio.h>

#include <cstdarg>

#include "image/lazy_library.h"

#ifndef ZYR_TIFF_SONAME
#define ZYR_TIFF_SONAME "libtiff.so"
#endif

namespace {

// Opened on first use; C++ makes the first use thread-safe.
const LazyLibrary &library()
{
    static const LazyLibrary lib(ZYR_TIFF_SONAME, "TIFF");
    return lib;
}

template <class Fn> Fn *lookup(const char *name) { return library().lookup<Fn>(name); }

}  // namespace

const char *tiff_library_problem()
{
    const LazyLibrary &lib = library();
    return lib.loaded() ? nullptr : lib.why().c_str();
}

// One forwarding definition: the library's function is looked up once, at
// the first call; without it the call answers `fail`.
#define ZYR_TIFF_FORWARD(type, name, params, args, fail)                     \
    extern "C" type name params                                               \
    {                                                                         \
        static decltype(&name) const fn = lookup<decltype(name)>(#name);      \
        return fn ? fn args : fail;                                           \
    }
// The same for a call that answers nothing.
#define ZYR_TIFF_FORWARD_VOID(name, params, args)                             \
    extern "C" void name params                                               \
    {                                                                         \
        static decltype(&name) const fn = lookup<decltype(name)>(#name);      \
        if (fn) fn args;                                                      \
    }
// A variadic field call, through the library's va_list form VNAME.
#define ZYR_TIFF_FORWARD_FIELD(name, vname)                                   \
    extern "C" int name(TIFF *tif, uint32_t tag, ...)                         \
    {                                                                         \
        static decltype(&vname) const fn = lookup<decltype(vname)>(#vname);   \
        if (!fn) return 0;                                                    \
        va_list ap;                                                           \
        va_start(ap, tag);                                                    \
        const int ok = fn(tif, tag, ap);                                      \
        va_end(ap);                                                           \
        return ok;                                                            \
    }

// Options and opening.
ZYR_TIFF_FORWARD(TIFFOpenOptions *, TIFFOpenOptionsAlloc, (void), (), nullptr)
ZYR_TIFF_FORWARD_VOID(TIFFOpenOptionsFree, (TIFFOpenOptions * opts), (opts))
ZYR_TIFF_FORWARD_VOID(TIFFOpenOptionsSetMaxSingleMemAlloc, (TIFFOpenOptions * opts, tmsize_t max),
                      (opts, max))
ZYR_TIFF_FORWARD_VOID(TIFFOpenOptionsSetErrorHandlerExtR,
                      (TIFFOpenOptions * opts, TIFFErrorHandlerExtR handler, void *user), (opts, handler, user))
ZYR_TIFF_FORWARD_VOID(TIFFOpenOptionsSetWarningHandlerExtR,
                      (TIFFOpenOptions * opts, TIFFErrorHandlerExtR handler, void *user), (opts, handler, user))
ZYR_TIFF_FORWARD(TIFF *, TIFFOpenExt, (const char *name, const char *mode, TIFFOpenOptions *opts),
                 (name, mode, opts), nullptr)
ZYR_TIFF_FORWARD(TIFF *, TIFFClientOpenExt,
                 (const char *name, const char *mode, thandle_t client, TIFFReadWriteProc read,
                  TIFFReadWriteProc write, TIFFSeekProc seek, TIFFCloseProc close, TIFFSizeProc size,
                  TIFFMapFileProc map, TIFFUnmapFileProc unmap, TIFFOpenOptions *opts),
                 (name, mode, client, read, write, seek, close, size, map, unmap, opts), nullptr)
ZYR_TIFF_FORWARD_VOID(TIFFClose, (TIFF * tif), (tif))

// Fields and codecs.
ZYR_TIFF_FORWARD_FIELD(TIFFGetField, TIFFVGetField)
ZYR_TIFF_FORWARD_FIELD(TIFFGetFieldDefaulted, TIFFVGetFieldDefaulted)
ZYR_TIFF_FORWARD_FIELD(TIFFSetField, TIFFVSetField)
ZYR_TIFF_FORWARD(int, TIFFMergeFieldInfo, (TIFF * tif, const TIFFFieldInfo info[], uint32_t n), (tif, info, n), -1)
ZYR_TIFF_FORWARD(const TIFFCodec *, TIFFFindCODEC, (uint16_t scheme), (scheme), nullptr)
ZYR_TIFF_FORWARD(int, TIFFIsCODECConfigured, (uint16_t scheme), (scheme), 0)
ZYR_TIFF_FORWARD(int, TIFFIsTiled, (TIFF * tif), (tif), 0)

// Strips, tiles and rows.
ZYR_TIFF_FORWARD(tmsize_t, TIFFScanlineSize, (TIFF * tif), (tif), 0)
ZYR_TIFF_FORWARD(tmsize_t, TIFFStripSize, (TIFF * tif), (tif), 0)
ZYR_TIFF_FORWARD(tmsize_t, TIFFVStripSize, (TIFF * tif, uint32_t rows), (tif, rows), 0)
ZYR_TIFF_FORWARD(uint32_t, TIFFDefaultStripSize, (TIFF * tif, uint32_t request), (tif, request), 0)
ZYR_TIFF_FORWARD(tmsize_t, TIFFTileSize, (TIFF * tif), (tif), 0)
ZYR_TIFF_FORWARD(tmsize_t, TIFFTileRowSize, (TIFF * tif), (tif), 0)
ZYR_TIFF_FORWARD(uint32_t, TIFFComputeTile, (TIFF * tif, uint32_t x, uint32_t y, uint32_t z, uint16_t s),
                 (tif, x, y, z, s), 0)
ZYR_TIFF_FORWARD(tmsize_t, TIFFReadEncodedStrip, (TIFF * tif, uint32_t strip, void *buf, tmsize_t size),
                 (tif, strip, buf, size), -1)
ZYR_TIFF_FORWARD(tmsize_t, TIFFReadEncodedTile, (TIFF * tif, uint32_t tile, void *buf, tmsize_t size),
                 (tif, tile, buf, size), -1)
ZYR_TIFF_FORWARD(int, TIFFWriteScanline, (TIFF * tif, void *buf, uint32_t row, uint16_t sample),
                 (tif, buf, row, sample), -1)
ZYR_TIFF_FORWARD(int, TIFFWriteDirectory, (TIFF * tif), (tif), 0)

#undef ZYR_TIFF_FORWARD_FIELD
#undef ZYR_TIFF_FORWARD_VOID
#undef ZYR_TIFF_FORWARD
