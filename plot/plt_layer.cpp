// The map overlay drawn once per domain into a layer and put onto every
// later frame of a loop.  Projecting and drawing the map files, the grid and
// its labels cost the same for every frame of one domain and size; where the
// device keeps layers (the headless window, while the display list is not
// recording: the frames of a loop), the second frame draws them into a layer
// and later frames only put its pixels down.
//
// Choices made here:
// - The layer stands for the drawing only while everything the drawing
//   starts from is as it was: the map layer's key (domain, list, settings,
//   resources) and the graphics kernel's state (attributes, transforms,
//   clip, size, colour table).  After putting the layer, the kernel's
//   attributes are set as the drawing left them, so what is drawn next
//   starts from the same settings.
// - One layer is kept (the last one drawn): a loop has one domain; a zoom
//   or resize changes the key and draws a new one.
// - The layer is drawn at the second frame of a key, the first one drawing
//   straight onto the picture: a layer is a picture of its own to fill,
//   scan and put, which a run of one frame (most runs) would pay for
//   nothing.
// - The switch (on unless the environment sets ZYR_MAP_LAYER=0) is for tests
//   and measurements; the pixels are the same either way.
#include <cstdlib>
#include <cstring>
#include <string>

#include "gks/gks.h"
#include "map/map.h"
#include "plot/plt.h"

namespace {

struct Kept {
    int on = -1;  // -1: not decided yet (ZYR_MAP_LAYER decides)
    int layer = 0;
    std::string key, after;
    std::string seen;  // the key of the last frame drawn without a layer
    long drawn = 0, put = 0;
};

Kept &kept()
{
    static Kept k;
    return k;
}

bool layer_on()
{
    Kept &k = kept();
    if (k.on < 0) {
        const char *e = std::getenv("ZYR_MAP_LAYER");
        k.on = !(e && std::strcmp(e, "0") == 0);
    }
    return k.on != 0;
}

void drop()
{
    Kept &k = kept();
    if (k.layer) glayer_free(k.layer);
    k.layer = 0;
    k.key.clear();
    k.after.clear();
}

}  // namespace

int PLT_map_draw(int phase)
{
    Kept &k = kept();
    std::string key = layer_on() ? MAP_draw_key(phase) : std::string();
    if (key.empty()) return MAP_draw(phase);
    std::string before;
    gdraw_state(&before);
    key += before;
    if (k.layer && key == k.key && glayer_put(k.layer)) {
        gdraw_state_restore(k.after);
        ++k.put;
        return 0;
    }
    drop();
    if (key != k.seen) {
        k.seen = std::move(key);
        return MAP_draw(phase);
    }
    if (!glayer_begin()) return MAP_draw(phase);
    MAP_draw(phase);
    const int id = glayer_end();
    if (id == 0) {
        // Drawn in a way a layer cannot repeat: drawn again on the picture.
        gdraw_state_restore(before);
        return MAP_draw(phase);
    }
    k.layer = id;
    k.key = std::move(key);
    gdraw_state(&k.after);
    ++k.drawn;
    return 0;
}

void PLT_set_map_layer(int on)
{
    drop();
    kept().seen.clear();
    kept().on = on != 0;
}

long PLT_map_layers_drawn() { return kept().drawn; }
long PLT_map_layers_put() { return kept().put; }

void PLT_reset_map_layer()
{
    drop();
    kept() = Kept{};
}
