// Dumps of the window picture that need more than the image writers: the
// ZYRIMG file with the plot's map domain, date and labels, and the PNG dump
// of a loop's frame written on a worker thread.
//
// A loop's PNG dump is two frames in flight at most, whatever the core
// count: the program reduces the frame's picture to palette entries (read
// where the headless window holds it, so no copy of the picture is made)
// and opens the file, then draws the next frame while one worker thread
// compresses the entries and writes and closes the file.  Before the next
// picture is reduced the worker is joined and its outcome printed, so one
// picture is being compressed while one is being drawn, and the memory in
// flight is one byte a pixel.  The worker touches nothing but its job (the
// entries, palette, title and path copied for it, and its open file):
// every message, file-name and window call stays on the program's thread.
// ZYR_THREADS=1 runs the same job in line, as one thread would.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/flags.h"
#include "core/workers.h"
#include "gks/gks.h"
#include "image/img.h"
#include "image/imgpal.h"
#include "image/pngio.h"
#include "map/map.h"
#include "plot/plt.h"
#include "plot/plt_int.h"

namespace {

// The map domain of a w x h window picture: the plot domain the map is
// drawn in (transform 2, whose world is the projection plane), extended
// from the panel to the whole window at the panel's pixel size, so that
// every pixel of the picture, labels and margins included, is located and
// the map lines fall on the grid points they were drawn at.  False when
// there is no map domain or the window gives no usable grid.
bool extend_to_window(int w, int h, DOM *out)
{
    DOM d;
    MAP_get_domain(&d);
    if (d.proj == DOM_MISSING || w < 2 || h < 2 || !gchk_graphics()) return false;
    int keep = 0;
    ginq_cur_norm_tran_num(nullptr, &keep);
    gsel_norm_tran(2);
    // World coordinates of the centres of the first and last pixels.
    const float x0 = xp_W(0), y0 = yp_W(0), x1 = xp_W((float)(w - 1)), y1 = yp_W((float)(h - 1));
    gsel_norm_tran(keep);
    const float dx = (x1 - x0) / (float)(w - 1), dy = (y0 - y1) / (float)(h - 1);
    if (!(dx > 0) || !(dy > 0) || !std::isfinite(dx) || !std::isfinite(dy)) return false;
    float lat = DOM_MISSING, lon = DOM_MISSING;
    MAP_untran(&lat, &lon, 0.5f * (x0 + x1), 0.5f * (y0 + y1));
    if (lat == DOM_MISSING || lon == DOM_MISSING) return false;
    // The projection keeps its own pole and meridian (the plot domain's,
    // filled in from its centre when it gave none).
    d.clat = lat;
    d.clon = lon;
    d.dx = dx;
    d.dy = dy;
    d.nx = w;
    d.ny = h;
    *out = d;
    return true;
}

// A PNG dump: the picture's palette entries and colours, its file, and
// the outcome left for the program's thread to print.
struct PngJob {
    std::vector<uint8_t> index;
    IMG_palette pal;
    int w = 0, h = 0;
    std::string path, title;
    FILE *fp = nullptr;
    bool ok = false;

    // Compresses, writes and closes: no message, no state but its own.
    void run()
    {
        std::vector<uint8_t> out;
        out.reserve(index.size() / 8 + 4096);
        ok = PNG_encode_indices(index.data(), w, h, pal.rgb, pal.ncolors, title.c_str(), &out);
        std::vector<uint8_t>().swap(index);
        ok = ok && std::fwrite(out.data(), 1, out.size(), fp) == out.size();
        ok = std::fflush(fp) == 0 && ok;
        ok = IMG_close_file(fp, path.c_str()) && ok;
        fp = nullptr;
    }
    void report() const
    {
        if (ok) {
            MESS_print(MESS_OUT1, "Wrote PNG file: %s\n", path.c_str());
        } else {
            MESS_print(MESS_ERROR, "PNG_write: Unable to write %s\n", path.c_str());
            MESS_print(MESS_WARN, "PLT_dump: Unable to write PNG file: %s\n", path.c_str());
        }
    }
};

// The job in flight and its thread.  At the program's end the destructor
// completes the file without printing (the message system may be gone).
struct PngWorker {
    std::thread thread;
    PngJob job;
    bool pending = false;

    ~PngWorker()
    {
        if (thread.joinable()) thread.join();
    }
    void finish()
    {
        if (thread.joinable()) thread.join();
        if (pending) job.report();
        pending = false;
    }
};

PngWorker png_worker;

// The window's picture as palette entries, read where it lies on the
// headless window (no copy of the picture), else from a copy.
bool picture_entries(PngJob *job)
{
    IMG img;
    IMG_init(&img);
    const bool view = gget_image_view(&img) == 1;
    bool ok = view || gget_image(&img);
    ok = ok && IMG_build_palette(&img, false, &job->pal, &job->index, "PNG_write");
    job->w = img.nx;
    job->h = img.ny;
    if (view) img.data = nullptr;
    IMG_free(&img);
    return ok;
}

}  // namespace

bool plt::dump_png_threaded() { return WORK_threads_asked() != 1; }

int plt::dump_png(const char *path)
{
    png_worker.finish();
    PngJob &job = png_worker.job;
    job = PngJob{};
    if (!picture_entries(&job)) return 0;
    MESS_print(MESS_DEBUG, "num_color: %d\n", job.pal.ncolors);
    job.fp = IMG_open_file(path, "wb");
    if (!job.fp) {
        MESS_print(MESS_ERROR, "Unable to open PNG file\n");
        return 0;
    }
    const char *title = gget_win_title();
    job.path = path;
    job.title = title ? title : "";
    png_worker.pending = true;
    if (dump_png_threaded()) png_worker.thread = std::thread([] { png_worker.job.run(); });
    else png_worker.job.run(), png_worker.finish();
    return 1;
}

void PLT_dump_wait() { png_worker.finish(); }

int IMG_dump(const char *name)
{
    IMG img;
    IMG_init(&img);
    if (!gget_image(&img)) {
        IMG_free(&img);
        return 0;
    }
    // The plot's map domain goes with the picture when the picture is the
    // map panel (no large view offset), extended to the window's pixels.
    if (PLT_get_view_offset() <= 0.7f) extend_to_window(img.nx, img.ny, &img.domain);
    const char *ul = PLT_get_label(0, 0), *lr = PLT_get_label(5, 0), *ur = PLT_get_label(2, 0);
    std::snprintf(img.info, sizeof img.info, "%s [%s]", ul ? ul : "", lr ? lr : "");
    std::snprintf(img.date_label, sizeof img.date_label, "%s", ur ? ur : "");
    int rc = IMG_write(name, &img, 0);
    IMG_free(&img);
    return rc;
}

