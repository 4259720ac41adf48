// Program flag slots and plot-element switches.
#include "core/flags.h"

#include <array>

namespace {

std::array<int64_t, FLAG_NUM_SLOTS> flags{};

// All elements start switched on; the two sums are only recomputed by
// FLAG_setplot, so at start they read 1 like the rest.
std::array<uint32_t, PLOT_NUM_ELEMENTS> plot_it = [] {
    std::array<uint32_t, PLOT_NUM_ELEMENTS> a{};
    a.fill(1);
    return a;
}();

bool slot_ok(int slot) { return slot >= 0 && slot < FLAG_NUM_SLOTS; }

void recompute_sums()
{
    uint32_t text = 0;
    for (int i = PLOT_TEXT_UL; i <= PLOT_TEXT_LR; ++i) text += plot_it[i];
    plot_it[PLOT_TEXT] = text;
    uint32_t any = 0;
    for (int i = PLOT_TEXT; i <= PLOT_BORDER; ++i) any += plot_it[i];
    plot_it[PLOT_ANY] = any;
}

} // namespace

int FLAG_get(int slot) { return slot_ok(slot) ? static_cast<int>(static_cast<int32_t>(flags[slot])) : 0; }
int64_t FLAG_getl(int slot) { return slot_ok(slot) ? flags[slot] : 0; }

int FLAG_set(int slot, int value) { return FLAG_setl(slot, value); }

int FLAG_setl(int slot, int64_t value)
{
    if (!slot_ok(slot)) return -1;
    flags[slot] = value;
    return 0;
}

void FLAG_reset(int value) { flags.fill(value); }
void FLAG_resetl(int64_t value) { flags.fill(value); }

int FLAG_batch() { return flags[FLAG_BATCH] > 0; }
int FLAG_set_batch(int value) { return FLAG_set(FLAG_BATCH, value); }
int FLAG_help() { return flags[FLAG_HELP] > 0; }

int FLAG_setplot(int element, uint32_t value)
{
    if (element < 0 || element >= PLOT_NUM_ELEMENTS) return -1;
    if (element == PLOT_ANY)
        for (int i = PLOT_TEXT; i <= PLOT_BORDER; ++i) plot_it[i] = value;
    else if (element == PLOT_TEXT)
        for (int i = PLOT_TEXT_UL; i <= PLOT_TEXT_LR; ++i) plot_it[i] = value;
    plot_it[element] = value;
    recompute_sums();
    return 0;
}

uint32_t FLAG_getplot(int element)
{
    return (element >= 0 && element < PLOT_NUM_ELEMENTS) ? plot_it[element] : 0;
}

void FLAG_resetplot(uint32_t value) { plot_it.fill(value); }

void FLAG_reset_all()
{
    flags.fill(0);
    plot_it.fill(1);
}
