// The netCDF library, loaded on the first netCDF call instead of at start.
//
// libnetcdf brings some forty shared libraries with it (HDF5, curl, two TLS
// stacks, Kerberos, LDAP, ICU ...).  Linked into the program, the dynamic
// loader maps and relocates all of them at every start: some 8 ms of CPU
// before main, an eighth of a whole 1920 x 1080 frame, paid by every run
// although only GOES-R files need the library.  So the program is not linked
// with it: the functions the GOES-R reader calls are defined here under
// their own names, with the library's own declarations, and each forwards to
// the library's function, looked up once in the library opened with dlopen
// on the first call.
//
// The library is opened RTLD_LOCAL, so its symbols never shadow these; the
// lookups go through its handle, so they find its functions even in a
// program that links the library as well (the benchmark of the reader does,
// for its yardstick), where these definitions take the calls first.
//
// Without the library every call fails with NC_ENOTBUILT and nc_strerror
// says which library could not be loaded and why, so a GOES-R file is
// refused with a message naming the file and the library, and every other
// format reads as before.
#include <netcdf.h>
#include <netcdf_mem.h>

#include "image/lazy_library.h"

#ifndef ZYR_NETCDF_SONAME
#define ZYR_NETCDF_SONAME "libnetcdf.so"
#endif

namespace {

// Opened on first use; C++ makes the first use thread-safe.
const LazyLibrary &library()
{
    static const LazyLibrary lib(ZYR_NETCDF_SONAME, "netCDF");
    return lib;
}

template <class Fn> Fn *lookup(const char *name) { return library().lookup<Fn>(name); }

}  // namespace

// One forwarding definition: the library's function is looked up once, at
// the first call; without it the call answers NC_ENOTBUILT.
#define ZYR_NC_FORWARD(name, params, args)                                    \
    extern "C" int name params                                                \
    {                                                                         \
        static decltype(&name) const fn = lookup<decltype(name)>(#name);      \
        return fn ? fn args : NC_ENOTBUILT;                                   \
    }

ZYR_NC_FORWARD(nc_open_mem, (const char *path, int mode, size_t size, void *memory, int *ncidp),
               (path, mode, size, memory, ncidp))
ZYR_NC_FORWARD(nc_close, (int ncid), (ncid))
ZYR_NC_FORWARD(nc_initialize, (void), ())
ZYR_NC_FORWARD(nc_inq_nvars, (int ncid, int *nvarsp), (ncid, nvarsp))
ZYR_NC_FORWARD(nc_inq_dimid, (int ncid, const char *name, int *idp), (ncid, name, idp))
ZYR_NC_FORWARD(nc_inq_dimlen, (int ncid, int dimid, size_t *lenp), (ncid, dimid, lenp))
ZYR_NC_FORWARD(nc_inq_varid, (int ncid, const char *name, int *varidp), (ncid, name, varidp))
ZYR_NC_FORWARD(nc_inq_varname, (int ncid, int varid, char *name), (ncid, varid, name))
ZYR_NC_FORWARD(nc_inq_varndims, (int ncid, int varid, int *ndimsp), (ncid, varid, ndimsp))
ZYR_NC_FORWARD(nc_inq_vardimid, (int ncid, int varid, int *dimidsp), (ncid, varid, dimidsp))
ZYR_NC_FORWARD(nc_inq_var,
               (int ncid, int varid, char *name, nc_type *xtypep, int *ndimsp, int *dimidsp, int *nattsp),
               (ncid, varid, name, xtypep, ndimsp, dimidsp, nattsp))
ZYR_NC_FORWARD(nc_inq_var_chunking, (int ncid, int varid, int *storagep, size_t *chunksizesp),
               (ncid, varid, storagep, chunksizesp))
ZYR_NC_FORWARD(nc_inq_att, (int ncid, int varid, const char *name, nc_type *xtypep, size_t *lenp),
               (ncid, varid, name, xtypep, lenp))
ZYR_NC_FORWARD(nc_get_att_text, (int ncid, int varid, const char *name, char *value), (ncid, varid, name, value))
ZYR_NC_FORWARD(nc_get_att_double, (int ncid, int varid, const char *name, double *value),
               (ncid, varid, name, value))
ZYR_NC_FORWARD(nc_get_var_double, (int ncid, int varid, double *ip), (ncid, varid, ip))
ZYR_NC_FORWARD(nc_get_var1_double, (int ncid, int varid, const size_t *indexp, double *ip),
               (ncid, varid, indexp, ip))
ZYR_NC_FORWARD(nc_get_vara_double, (int ncid, int varid, const size_t *startp, const size_t *countp, double *ip),
               (ncid, varid, startp, countp, ip))
ZYR_NC_FORWARD(nc_get_vara_schar,
               (int ncid, int varid, const size_t *startp, const size_t *countp, signed char *ip),
               (ncid, varid, startp, countp, ip))
ZYR_NC_FORWARD(nc_get_vara_uchar,
               (int ncid, int varid, const size_t *startp, const size_t *countp, unsigned char *ip),
               (ncid, varid, startp, countp, ip))
ZYR_NC_FORWARD(nc_get_vara_short, (int ncid, int varid, const size_t *startp, const size_t *countp, short *ip),
               (ncid, varid, startp, countp, ip))
ZYR_NC_FORWARD(nc_get_vara_ushort,
               (int ncid, int varid, const size_t *startp, const size_t *countp, unsigned short *ip),
               (ncid, varid, startp, countp, ip))

#undef ZYR_NC_FORWARD

// The library's text for a status; without the library, why it could not
// be loaded.
extern "C" const char *nc_strerror(int ncerr)
{
    static decltype(&nc_strerror) const fn = lookup<decltype(nc_strerror)>("nc_strerror");
    if (fn) return fn(ncerr);
    const LazyLibrary &lib = library();
    return lib.loaded() ? "unknown netCDF status" : lib.why().c_str();
}
