// XWD reader and writer.
//
// Layout choices of the writer:
// - Colour entries are X11's 12-byte XWDColor (pixel 32 bits, red, green,
//   blue 16 bits, flags, one pad byte), the size every XWD reader expects.
// - Rows are written as the record holds them.  Window images have rows
//   padded to 32 bits; rows read from files often are not (1547 bytes for
//   1547 pixels), and readers reject a bytes-per-line that its bitmap pad
//   cannot produce.  So the pad written is the true one: 32 when bytes per
//   line is a multiple of 4, else 16 when it is even, else 8.
// - Bits per pixel 0 (plain one-byte satellite data) is written as 8.
// - A record with neither colour table nor masks (gray counts) is written
//   as PseudoColor with a gray ramp of 2^depth entries (depth 8 at most),
//   and one of 24 or 32 bits as TrueColor with masks 0xff0000, 0xff00,
//   0xff; these are the colours the other writers give such records.
//
// The reader takes ZPixmap dumps only; every size in the header is checked
// against the file before anything is allocated.
#include "image/xwd.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/flags.h"
#include "image/img.h"
#include "image/imgpal.h"

namespace {

constexpr size_t MAX_FILE = (size_t)1 << 30;

uint32_t be32(const unsigned char *p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }
uint16_t be16(const unsigned char *p) { return (uint16_t)(p[0] << 8 | p[1]); }

void put32(std::vector<uint8_t> *o, uint32_t v)
{
    const uint8_t b[4] = {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
    o->insert(o->end(), b, b + 4);
}

void put16(std::vector<uint8_t> *o, uint16_t v)
{
    o->push_back((uint8_t)(v >> 8));
    o->push_back((uint8_t)v);
}

int err(const char *text)
{
    std::fputs(text, stderr);
    return 0;
}

uint16_t to16(float f)
{
    double v = 65535.0 * f;
    return (uint16_t)(v < 0 ? 0 : v > 65535 ? 65535 : v);
}

}  // namespace

int XWD_write(const char *name, const IMG *image)
{
    FILE *fp = name ? std::fopen(name, "w") : nullptr;
    if (!fp) return err("Unable to open dump file\n");
    const bool has_table = image->indexed && image->cmap && image->ncolors > 0;
    const bool has_masks = (image->red_mask | image->green_mask | image->blue_mask) != 0;
    int bpp = image->bits_pixel > 0 ? image->bits_pixel : (image->depth <= 8 ? 8 : image->depth);
    if (image->depth == 1 || image->depth == 4) bpp = image->bits_pixel > 0 ? image->bits_pixel : image->depth;
    const int bl = image->bytes_line;
    const int pad = bl % 4 == 0 ? 32 : bl % 2 == 0 ? 16 : 8;

    // Colour entries to write, and the visual class and masks they imply.
    std::vector<float> gray;
    const float *table = image->cmap;
    int ncolors = has_table ? image->ncolors : 0;
    int vclass = has_table ? 3 : 4;
    uint32_t masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
    if (!has_table && !has_masks) {
        if (image->depth <= 8) {
            ncolors = 1 << (image->depth > 0 ? image->depth : 8);
            gray.resize(3 * (size_t)ncolors);
            for (int i = 0; i < ncolors; i++) gray[3 * i] = gray[3 * i + 1] = gray[3 * i + 2] = (float)i / (float)(ncolors - 1);
            table = gray.data();
            vclass = 3;
        } else if (image->depth >= 24) {
            masks[0] = 0xff0000;
            masks[1] = 0xff00;
            masks[2] = 0xff;
        }
    }

    MESS_print(MESS_DEBUG, "width: %d\n", image->nx);
    MESS_print(MESS_DEBUG, "height: %d\n", image->ny);
    MESS_print(MESS_DEBUG, "byte_order: %d\n", image->byte_order);
    MESS_print(MESS_DEBUG, "bits_pixel: %d\n", bpp);
    MESS_print(MESS_DEBUG, "depth: %d\n", image->depth);
    MESS_print(MESS_DEBUG, "bytes_line: %d\n", bl);
    MESS_print(MESS_DEBUG, "num colors: %d\n", ncolors);

    const size_t name_len = std::strlen(image->info) + 1;
    std::vector<uint8_t> head;
    const uint32_t fields[25] = {(uint32_t)(100 + name_len), 7, 2, (uint32_t)image->depth,
                                 (uint32_t)image->nx, (uint32_t)image->ny, 0, (uint32_t)image->byte_order,
                                 32, (uint32_t)image->byte_order, (uint32_t)pad, (uint32_t)bpp,
                                 (uint32_t)bl, (uint32_t)vclass, masks[0], masks[1], masks[2], 8,
                                 (uint32_t)ncolors, (uint32_t)ncolors, (uint32_t)image->nx,
                                 (uint32_t)image->ny, 0, 0, 0};
    for (uint32_t f : fields) put32(&head, f);
    if (std::fwrite(head.data(), 1, head.size(), fp) != head.size()) {
        std::fclose(fp);
        return err("Unable to write dump file header\n");
    }
    if (std::fwrite(image->info, 1, name_len, fp) != name_len) {
        std::fclose(fp);
        return err("Unable to write window name to dump file.\n");
    }
    std::vector<uint8_t> colours;
    colours.reserve(12 * (size_t)ncolors);
    for (int i = 0; i < ncolors; i++) {
        put32(&colours, (uint32_t)i);
        for (int c = 0; c < 3; c++) put16(&colours, to16(table[3 * i + c]));
        colours.push_back(7);  // DoRed | DoGreen | DoBlue
        colours.push_back(0);
    }
    if (!colours.empty() && std::fwrite(colours.data(), 1, colours.size(), fp) != colours.size()) {
        std::fclose(fp);
        return err("Unable to write color map to dump file.\n");
    }
    const size_t bytes = (size_t)(bl > 0 ? bl : 0) * (size_t)(image->ny > 0 ? image->ny : 0);
    bool ok = !bytes || (image->data && std::fwrite(image->data, 1, bytes, fp) == bytes);
    ok = std::fflush(fp) == 0 && ok;
    ok = std::fclose(fp) == 0 && ok;
    if (!ok) return err("Unable to write to XWD file.\n");
    return 1;
}

int XWD_read_mem(const unsigned char *data, size_t size, IMG *image, int query)
{
    if (size < 100) return err("Unable to read dump file header\n");
    uint32_t h[25];
    for (int i = 0; i < 25; i++) h[i] = be32(data + 4 * i);
    const uint32_t header_size = h[0], version = h[1], format = h[2], depth = h[3];
    const uint32_t width = h[4], height = h[5], order = h[7], bpp = h[11], bl = h[12];
    const uint32_t vclass = h[13], ncolors = h[19];
    if (version != 7) return err("XWD file format version mismatch\n");
    if (header_size < 100) return err("XWD header size is too small.\n");
    if (depth > (uint32_t)(image->depth < 0 ? 0 : image->depth)) {
        std::fprintf(stderr, "Incorrect depth: %d > %d\n", (int)depth, image->depth);
        return 0;
    }
    if (header_size > size) return err("Unable to read window name from dump file.\n");
    // Refused rather than misread: other pixmap formats, pixel sizes the
    // record cannot hold, rows too short for their pixels.
    if (format != 2) return err("XWD_read: only ZPixmap dumps can be read\n");
    if (!(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32) || depth == 0 ||
        depth > bpp || width > 0x7fffffff || height > 0x7fffffff || bl > 0x7fffffff ||
        (uint64_t)bl * 8 < (uint64_t)width * bpp || order > 1)
        return err("XWD_read: inconsistent image description in dump file header\n");

    // The record comes initialised (IMG_read): no buffers to release.
    image->cmap = nullptr;
    image->data = nullptr;
    image->nx = (int)width;
    image->ny = (int)height;
    image->byte_order = (int)order;
    image->depth = (int)depth;
    image->bytes_line = (int)bl;
    image->bits_pixel = (int)bpp;
    // The window name, cut to the record's info text.
    size_t name_len = header_size - 100;
    const char *nm = (const char *)data + 100;
    size_t n = 0;
    while (n < name_len && n < sizeof image->info - 1 && nm[n]) n++;
    std::memcpy(image->info, nm, n);
    image->info[n] = 0;
    if (vclass == 4) {
        image->indexed = 0;
        image->red_mask = h[14];
        image->green_mask = h[15];
        image->blue_mask = h[16];
    } else {
        image->indexed = 1;
        image->red_mask = image->green_mask = image->blue_mask = 0;
    }

    size_t pos = header_size;
    if (ncolors > 65536 || (uint64_t)ncolors * 12 > size - pos) return err("Unable to read color map from dump file.\n");
    image->ncolors = (int)ncolors;
    if (ncolors > 0) {
        image->cmap = (float *)std::calloc(3 * (size_t)ncolors, sizeof(float));
        if (!image->cmap) return err("Unable to read color map from dump file.\n");
        for (uint32_t i = 0; i < ncolors; i++, pos += 12) {
            const unsigned char *e = data + pos;
            uint32_t pixel = be32(e);
            if (pixel >= ncolors) continue;
            for (int c = 0; c < 3; c++) image->cmap[3 * pixel + c] = be16(e + 4 + 2 * c) / 65535.0f;
        }
    }
    const uint64_t bytes = (uint64_t)bl * height;
    if (bytes > size - pos) {
        IMG_free(image);
        return err("Unable to read pixmap from dump file.\n");
    }
    image->data = (unsigned char *)std::malloc(bytes ? (size_t)bytes : 1);
    if (!image->data) {
        IMG_free(image);
        return err("Unable to allocate data buffer.\n");
    }
    if (bytes) std::memcpy(image->data, data + pos, (size_t)bytes);
    return 1;
}

int XWD_read(const char *name, IMG *image, int query)
{
    FILE *fp = IMG_open_file(name, "r");
    if (!fp) return err("Unable to open dump file\n");
    std::vector<unsigned char> bytes;
    bool ok = IMG_slurp(fp, &bytes, MAX_FILE);
    IMG_close_file(fp, name);
    if (!ok) return err("Unable to read dump file header\n");
    return XWD_read_mem(bytes.data(), bytes.size(), image, query);
}
