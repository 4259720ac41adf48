#include "core/hooks.h"

namespace {
HOOKS table{};
}  // namespace

HOOKS &HOOK_table() { return table; }

void HOOK_reset() { table = HOOKS{}; }
