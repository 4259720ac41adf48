// PNG reader and writer.
//
// How the reader lays each kind of PNG into the record (byte order 1):
// - palette: indexed, the PLTE as colour table; 1, 4 and 8 bits stay as
//   they are, 2 bits are unpacked to one byte a pixel.  The first fully
//   transparent tRNS entry becomes the transparent colour.
// - gray: indexed with a gray ramp of 2^depth entries, so every writer and
//   the window show the levels; 2 bits unpacked to bytes as above.
// - RGB: 24 bits per pixel with masks 0xff0000, 0xff00, 0xff.
// - RGBA and gray + alpha: alpha first (A, R, G, B; gray is widened to
//   RGB), 32 bits per pixel at depth 24, so the masks and the 32-bit rule
//   (bytes 1 to 3) find the colours.  Depth and bits per pixel then agree
//   with the window's own 32-bit images.
// - 16-bit channels are cut to their high 8 bits: the record, the writers
//   and the window all carry 8-bit channels.
// - 1-bit rows are bit-swapped to the record's least-significant-bit-first
//   order.
// Sizes the file cannot back are refused before allocating: at most 2^30
// bytes of rows, and at most 1100 bytes of rows per byte of file (deflate
// cannot do better than about 1032:1).
#include "image/pngio.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "core/flags.h"
#include "gks/gks.h"
#include "image/img.h"
#include "image/imgpal.h"

namespace {

constexpr size_t MAX_ROW_BYTES_TOTAL = (size_t)1 << 30;

struct ErrCtx {
    const char *who;
    const char *name;
};

[[noreturn]] void on_error(png_structp png, png_const_charp msg)
{
    auto *ctx = (const ErrCtx *)png_get_error_ptr(png);
    MESS_print(MESS_ERROR, "%s: %s: %s\n", ctx->who, ctx->name, msg);
    png_longjmp(png, 1);
}

void on_warning(png_structp png, png_const_charp msg)
{
    auto *ctx = (const ErrCtx *)png_get_error_ptr(png);
    MESS_print(MESS_DEBUG, "%s: %s: %s\n", ctx->who, ctx->name, msg);
}

// State that must survive a long jump out of libpng lives here, outside the
// frame that called setjmp.
struct ReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep *rows = nullptr;
    bool pixels_done = false;
};

float *gray_ramp(int n)
{
    float *t = (float *)std::malloc(sizeof(float) * 3 * (size_t)n);
    if (t)
        for (int i = 0; i < n; i++) t[3 * i] = t[3 * i + 1] = t[3 * i + 2] = n > 1 ? (float)i / (float)(n - 1) : 0.0f;
    return t;
}

long stream_size(FILE *fp)
{
    long here = std::ftell(fp);
    if (here < 0 || std::fseek(fp, 0, SEEK_END) != 0) return -1;
    long end = std::ftell(fp);
    std::fseek(fp, here, SEEK_SET);
    return end;
}

int read_impl(ReadState *st, FILE *fp, IMG *image, int query, long file_size)
{
    if (setjmp(png_jmpbuf(st->png))) return st->pixels_done ? 1 : 0;
    png_structp png = st->png;
    png_infop info = st->info;
    png_set_sig_bytes(png, 8);
    png_init_io(png, fp);
    png_set_chunk_malloc_max(png, (png_alloc_size_t)8 << 20);
    png_read_info(png, info);
    png_uint_32 w, h;
    int bd, ct, il, comp, filt;
    png_get_IHDR(png, info, &w, &h, &bd, &ct, &il, &comp, &filt);
    MESS_print(MESS_DEBUG, "%d %d %d - %d %d - %d %d\n", (int)w, (int)h, bd, ct, il, comp, filt);

    if (bd == 16) png_set_strip_16(png);
    if (bd == 2) png_set_packing(png);
    if (bd == 1) png_set_packswap(png);
    if (ct == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (ct & PNG_COLOR_MASK_ALPHA) png_set_swap_alpha(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowbytes = png_get_rowbytes(png, info);
    const int depth = bd == 16 ? 8 : bd == 2 ? 8 : bd;

    std::strcpy(image->info, "PNG");
    image->nx = (int)w;
    image->ny = (int)h;
    image->bytes_line = (int)rowbytes;
    image->byte_order = 1;
    if (ct == PNG_COLOR_TYPE_GRAY || ct == PNG_COLOR_TYPE_PALETTE) {
        image->depth = image->bits_pixel = depth;
    } else {
        image->depth = 3 * depth;
        image->bits_pixel = (int)(rowbytes / w * 8);
    }
    if (query) return 1;

    if (ct == PNG_COLOR_TYPE_PALETTE) {
        image->indexed = 1;
        image->red_mask = image->green_mask = image->blue_mask = 0;
        png_colorp pal;
        int n = 0;
        if (png_get_PLTE(png, info, &pal, &n) && n > 0) {
            MESS_print(MESS_DEBUG, "color table size: %d\n", n);
            image->cmap = (float *)std::malloc(sizeof(float) * 3 * (size_t)n);
            if (image->cmap) {
                for (int i = 0; i < n; i++) {
                    image->cmap[3 * i] = pal[i].red / 255.0f;
                    image->cmap[3 * i + 1] = pal[i].green / 255.0f;
                    image->cmap[3 * i + 2] = pal[i].blue / 255.0f;
                }
                image->ncolors = n;
            }
        }
        png_bytep trans;
        int nt = 0;
        if (png_get_tRNS(png, info, &trans, &nt, nullptr))
            for (int i = 0; i < nt; i++)
                if (trans[i] == 0) {
                    image->transparent = i;
                    break;
                }
    } else if (ct == PNG_COLOR_TYPE_GRAY) {
        image->indexed = 1;
        image->red_mask = image->green_mask = image->blue_mask = 0;
        image->ncolors = 1 << (bd == 16 ? 8 : bd);
        image->cmap = gray_ramp(image->ncolors);
        if (!image->cmap) image->ncolors = 0;
    } else {
        image->indexed = 0;
        image->red_mask = 0xff0000;
        image->green_mask = 0xff00;
        image->blue_mask = 0xff;
    }

    const uint64_t total = (uint64_t)rowbytes * h;
    if (total > MAX_ROW_BYTES_TOTAL || (file_size >= 0 && total > (uint64_t)file_size * 1100)) {
        MESS_print(MESS_ERROR, "PNG_read: %ux%u image is larger than the file can hold\n", (unsigned)w,
                   (unsigned)h);
        return 0;
    }
    image->data = (unsigned char *)std::malloc(total ? total : 1);
    st->rows = (png_bytep *)std::malloc(sizeof(png_bytep) * h);
    if (!image->data || !st->rows) {
        MESS_print(MESS_ERROR, "Unable to allocate data buffer.\n");
        return 0;
    }
    // Rows not reached by a broken stream stay zero, not uninitialised.
    std::memset(image->data, 0, total);
    for (png_uint_32 y = 0; y < h; y++) st->rows[y] = image->data + (size_t)y * rowbytes;
    for (int p = 0; p < passes; p++)
        for (png_uint_32 y = 0; y < h; y++) png_read_row(png, st->rows[y], nullptr);
    // Damage after the last row (a bad CRC in a trailing chunk, a missing
    // IEND) no longer matters: the pixels are complete.
    st->pixels_done = true;
    png_read_end(png, nullptr);
    return 1;
}

}  // namespace

int PNG_read_stream(FILE *fp, IMG *image, int query, const char *name)
{
    IMG_init(image);
    unsigned char sig[8];
    if (std::fread(sig, 1, 8, fp) != 8 || png_sig_cmp(sig, 0, 8) != 0) {
        MESS_print(MESS_ERROR, "PNG_read: Not a PNG file: %s\n", name);
        return 0;
    }
    long size = stream_size(fp);
    ErrCtx ctx{"PNG_read", name};
    ReadState st;
    st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, on_error, on_warning);
    if (st.png) st.info = png_create_info_struct(st.png);
    int rc = 0;
    if (st.info) rc = read_impl(&st, fp, image, query, size);
    png_destroy_read_struct(&st.png, &st.info, nullptr);
    std::free(st.rows);
    if (!rc) IMG_free(image);
    return rc;
}

int PNG_read(const char *name, IMG *image, int query)
{
    // Opened as named: the file-name conventions do not apply to PNG input.
    FILE *fp = name ? std::fopen(name, "rb") : nullptr;
    if (!fp) {
        MESS_print(MESS_ERROR, "PNG_read: Unable to open file: %s\n", name ? name : "");
        return 0;
    }
    int rc = PNG_read_stream(fp, image, query, name);
    std::fclose(fp);
    return rc;
}

int PNG_write(const char *name, IMG *image)
{
    FILE *fp = IMG_open_file(name, "wb");
    if (!fp) {
        MESS_print(MESS_ERROR, "Unable to open PNG file\n");
        return 0;
    }
    IMG_palette pal;
    std::vector<uint8_t> index, out;
    if (!IMG_build_palette(image, false, &pal, &index, "PNG_write")) {
        IMG_close_file(fp, name);
        return 0;
    }
    MESS_print(MESS_DEBUG, "num_color: %d\n", pal.ncolors);
    const char *title = gget_win_title();
    out.reserve(index.size() / 8 + 4096);
    if (!PNG_encode_indices(index.data(), image->nx, image->ny, pal.rgb, pal.ncolors, title ? title : "", &out)) {
        MESS_print(MESS_ERROR, "PNG_write: Unable to encode %s\n", name);
        IMG_close_file(fp, name);
        return 0;
    }
    return IMG_finish_file(fp, out.data(), out.size(), "PNG_write", name);
}
