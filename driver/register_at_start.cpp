// Compiled into every program that links the whole system (the tools, the
// test and benchmark programs, the fuzz targets): fills the hook table
// before main runs, so the lower layers reach the higher ones exactly as
// they do in zyrsat, whose main also registers them first thing.
#include "driver/sat.h"

namespace {
const bool registered = (SAT_register_hooks(), true);
}  // namespace
