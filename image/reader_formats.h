// The identify and read functions each reader file gives its table row
// (image/reader_table.h), and the two ways a reader takes a source's bytes.
// Internal to image/.
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

#include "image/reader_table.h"

namespace rdr {

// A stream over a source: the source's own stream as it stands, or an
// fmemopen stream over its span, closed when this goes.  get() is null when no stream
// can be made.
class SourceStream {
public:
    explicit SourceStream(const IMG_SOURCE *source);
    ~SourceStream();
    SourceStream(const SourceStream &) = delete;
    SourceStream &operator=(const SourceStream &) = delete;
    FILE *get() const { return in_; }

private:
    FILE *in_ = nullptr;
    bool own_ = false;
};

// The source's bytes as a span: its own, or its stream loaded whole into
// `hold`.  false (after a message naming `who`) when the stream cannot be read.
bool source_span(const IMG_SOURCE *source, const char *who, std::vector<unsigned char> &hold,
                 const unsigned char **bytes, size_t *size);

// The read of a row whose reader parses a span: the image initialised with
// its source, the bytes taken as a span, then `parse(bytes, size)`, whose
// 0 (read) or -1 (refused) becomes the row's result.
template <class Parse>
int read_span(const IMG_SOURCE *source, IMG_READ_OUT *out, const char *who, int image_source,
              Parse parse)
{
    IMG_init(out->image);
    out->image->source = image_source;
    std::vector<unsigned char> hold;
    const unsigned char *bytes;
    size_t size;
    if (!source_span(source, who, hold, &bytes, &size)) return IMG_READ_FAILED;
    return parse(bytes, size) == 0 ? IMG_READ_OK : IMG_READ_FAILED;
}

}  // namespace rdr

// The readers' memory entry points, which the rows wrap: -1 failure, 0
// success.  AWIPS variant: IMG_SRC_AWIPZ zlib-compressed, any other plain
// (the bytes decide when they disagree).  `name` is used in messages only.
int SAT_read_AWIP_mem(const unsigned char *data, size_t size, int variant, const char *name,
                      IMG *image);
int SAT_read_Unisys_mem(const unsigned char *data, size_t size, const char *name, IMG *image);
int SAT_read_TIFF_mem(const unsigned char *data, size_t size, const char *name, IMG *image);
// Starts an LRIT file on a stream the caller keeps.
int LRIT_open_stream(FILE *in, const char *name);

namespace rdr {

bool zyr_identify(const unsigned char *bytes, size_t size);
int zyr_read(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out);

bool area_identify(const unsigned char *bytes, size_t size);
int area_read(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out);

bool awip_identify(const unsigned char *bytes, size_t size);
bool awipz_identify(const unsigned char *bytes, size_t size);
int awip_read(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out);
int awipz_read(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out);

bool unisys_identify(const unsigned char *bytes, size_t size);
int unisys_read(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out);

bool tiff_identify(const unsigned char *bytes, size_t size);
int tiff_read(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out);

bool lrit_identify(const unsigned char *bytes, size_t size);
int lrit_read(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out);
// Segments of one image read together, their values, and what a file is to a
// set (image/lrit_set.cpp).
int lrit_read_set(const IMG_SOURCE *sources, int n, const IMG_WINDOW *window, IMG_READ_OUT *out);
int lrit_value(const IMG_SOURCE *sources, int n, int col, int row, double *value, char *units,
               size_t units_size);
int lrit_set_key(const IMG_SOURCE *source, char *key, size_t key_size);

}  // namespace rdr
