// GIF writer and the LZW coder.
#include <cstring>

#include "core/flags.h"
#include "gks/gks.h"
#include "image/gif.h"
#include "image/img.h"
#include "image/imgpal.h"

namespace {

bool g_interlace = false;
bool g_transparent = false;

// Codes are packed least significant bit first into one run of bytes; the
// run is cut into sub-blocks afterwards (one memcpy per block is cheaper
// than a length check per byte).
class BitPacker {
public:
    explicit BitPacker(std::vector<uint8_t> *raw) : raw_(raw) {}
    void put(unsigned code, int width)
    {
        acc_ |= (uint64_t)code << nbits_;
        nbits_ += width;
        if (nbits_ >= 32) {
            uint8_t b[4] = {(uint8_t)acc_, (uint8_t)(acc_ >> 8), (uint8_t)(acc_ >> 16), (uint8_t)(acc_ >> 24)};
            raw_->insert(raw_->end(), b, b + 4);
            acc_ >>= 32;
            nbits_ -= 32;
        }
    }
    void flush()
    {
        while (nbits_ > 0) {
            raw_->push_back((uint8_t)acc_);
            acc_ >>= 8;
            nbits_ -= 8;
        }
        nbits_ = 0;
        acc_ = 0;
    }

private:
    std::vector<uint8_t> *raw_;
    uint64_t acc_ = 0;
    int nbits_ = 0;
};

// The string table: 4096 buckets chained through at most 4096 nodes, each
// node being the code it defines.  key = pixel * 4096 + prefix code, bucket
// = (pixel * 16) XOR prefix code.
struct LzwTable {
    int16_t head[4096];
    int16_t next[4096];
    uint32_t key[4096];
    void reset() { std::memset(head, -1, sizeof head); }
};

void put_le16(std::vector<uint8_t> *o, int v)
{
    o->push_back((uint8_t)(v & 0xff));
    o->push_back((uint8_t)((v >> 8) & 0xff));
}

}  // namespace

int GIF_interlace(int flag)
{
    g_interlace = flag != 0;
    return 0;
}

int GIF_transparent(int flag)
{
    g_transparent = flag != 0;
    return 0;
}

int GIF_interlace_row(int n, int h)
{
    // Passes: rows 0, 8, 16 ...; 4, 12 ...; 2, 6 ...; 1, 3 ...
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; p++) {
        int count = start[p] < h ? (h - start[p] + step[p] - 1) / step[p] : 0;
        if (n < count) return start[p] + n * step[p];
        n -= count;
    }
    return -1;
}

void GIF_table_bits(int ncolors, int *bits, int *code_size)
{
    // A one-colour image still gets a 2-entry table: a 1-entry table cannot
    // be expressed in the screen descriptor.
    int b = 1;
    while ((1 << b) < ncolors) b++;
    *bits = b;
    *code_size = b < 2 ? 2 : b;
}

void GIF_lzw_encode(const uint8_t *index, int w, int h, int code_size, bool interlace,
                    std::vector<uint8_t> *out)
{
    out->push_back((uint8_t)code_size);
    if (w <= 0 || h <= 0) {
        out->push_back(0);
        return;
    }
    std::vector<uint8_t> raw;
    raw.reserve((size_t)w * h / 2 + 64);
    BitPacker bits(&raw);
    static thread_local LzwTable t;
    const unsigned clear = 1u << code_size, eoi = clear + 1;
    int width = code_size + 1;
    unsigned maxcode = (1u << width) - 1, next = clear + 2;
    t.reset();
    // A leading clear code: the table is empty anyway, and some decoders
    // expect one.
    bits.put(clear, width);

    unsigned prefix = 0;
    bool first = true;
    for (int n = 0; n < h; n++) {
        const int r = interlace ? GIF_interlace_row(n, h) : n;
        const uint8_t *row = index + (size_t)r * w;
        int x = 0;
        if (first) {
            prefix = row[0];
            x = 1;
            first = false;
        }
        for (; x < w; x++) {
            const unsigned pix = row[x];
            const uint32_t key = (pix << 12) + prefix;
            const unsigned bucket = (pix << 4) ^ prefix;
            int c = t.head[bucket];
            while (c >= 0 && t.key[c] != key) c = t.next[c];
            if (c >= 0) {
                prefix = (unsigned)c;
                continue;
            }
            bits.put(prefix, width);
            // The width grows before the new code is added, so that it
            // changes exactly where the decoder, one code behind, expects.
            if (next > maxcode && width < 12) {
                width++;
                maxcode = (1u << width) - 1;
            }
            if (next < 4096) {
                t.key[next] = key;
                t.next[next] = t.head[bucket];
                t.head[bucket] = (int16_t)next;
                next++;
            } else {
                bits.put(clear, width);
                t.reset();
                width = code_size + 1;
                maxcode = (1u << width) - 1;
                next = clear + 2;
            }
            prefix = pix;
        }
    }
    bits.put(prefix, width);
    if (next > maxcode && width < 12) width++;
    bits.put(eoi, width);
    bits.flush();

    // Sub-blocks of at most 254 bytes, then the zero-length block.
    out->reserve(out->size() + raw.size() + raw.size() / 254 + 2);
    for (size_t pos = 0; pos < raw.size(); pos += 254) {
        size_t n = raw.size() - pos < 254 ? raw.size() - pos : 254;
        out->push_back((uint8_t)n);
        out->insert(out->end(), raw.begin() + (long)pos, raw.begin() + (long)(pos + n));
    }
    out->push_back(0);
}

int GIF_write(const char *name, IMG *image)
{
    FILE *fp = IMG_open_file(name, "wb");
    if (!fp) {
        MESS_print(MESS_ERROR, "Unable to open GIF file\n");
        return 0;
    }
    if (image->nx > 65535 || image->ny > 65535) {
        MESS_print(MESS_ERROR, "GIF_write: %dx%d is too large for a GIF file\n", image->nx, image->ny);
        IMG_close_file(fp, name);
        return 0;
    }
    MESS_print(MESS_DEBUG, "GIF_write: width %d height %d depth %d bytes per line %d\n", image->nx,
               image->ny, image->depth, image->bytes_line);
    IMG_palette pal;
    std::vector<uint8_t> index;
    if (!IMG_build_palette(image, true, &pal, &index, "GIF_write")) {
        IMG_close_file(fp, name);
        return 0;
    }
    // The transparent entry is that of the background's pixel value; when
    // the background does not occur the control block says "no transparency".
    int trans = -1;
    if (g_transparent) {
        long bg = gget_color_ind(GCOLR_BACK);
        for (int e = 0; e < pal.ncolors; e++)
            if ((long)pal.value[e] == bg) {
                trans = e;
                break;
            }
    }
    int bits, code_size;
    MESS_print(MESS_DEBUG, "num_color: %d\n", pal.ncolors);
    GIF_table_bits(pal.ncolors, &bits, &code_size);
    MESS_print(MESS_DEBUG, "num_color+: %d\n", 1 << bits);
    MESS_print(MESS_DEBUG, "code_size: %d\n", code_size);

    std::vector<uint8_t> out;
    out.reserve((size_t)image->nx * image->ny / 2 + 1024);
    const char sig[] = "GIF89a";
    out.insert(out.end(), sig, sig + 6);
    put_le16(&out, image->nx);
    put_le16(&out, image->ny);
    out.push_back((uint8_t)(0x80 + (bits - 1) * 16 + (bits - 1)));
    out.push_back(0);
    out.push_back(0);
    for (int e = 0; e < (1 << bits); e++)
        for (int c = 0; c < 3; c++) out.push_back(e < pal.ncolors ? pal.rgb[e][c] : 0);
    if (g_transparent) {
        const uint8_t gce[] = {0x21, 0xF9, 4, (uint8_t)(trans >= 0 ? 1 : 0), 10, 0,
                               (uint8_t)(trans >= 0 ? trans : 0), 0};
        out.insert(out.end(), gce, gce + sizeof gce);
    }
    out.push_back(0x2C);
    put_le16(&out, 0);
    put_le16(&out, 0);
    put_le16(&out, image->nx);
    put_le16(&out, image->ny);
    out.push_back(g_interlace ? 64 : 0);
    GIF_lzw_encode(index.data(), image->nx, image->ny, code_size, g_interlace, &out);
    out.push_back(';');
    return IMG_finish_file(fp, out.data(), out.size(), "GIF_write", name);
}
