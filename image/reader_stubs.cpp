// Temporary stand-ins for the AWIPS, Unisys, TIFF and LRIT readers so the
// dispatch links before those readers land.  Delete with their arrival.
#include "driver/flags.h"
#include "image/sat_read.h"

namespace {
int not_built(const char *who, const char *name)
{
    MESS_print(MESS_ERROR, "%s: reader not built into this program: %s\n", who, name);
    return -1;
}
}  // namespace

int SAT_read_AWIP(const char *name, IMG *) { return not_built("SAT_read_AWIP", name); }
int SAT_read_Unisys(const char *name, IMG *) { return not_built("SAT_read_Unisys", name); }
int SAT_read_TIFF(const char *name, IMG *) { return not_built("SAT_read_TIFF", name); }
int SAT_read_LRIT(const char *name, IMG *) { return not_built("SAT_read_LRIT", name); }
