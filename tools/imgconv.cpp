// imgconv [-i] IN OUT: converts between the image files the program reads
// and writes.  IN is any file the image-file dispatch takes (GIF, PNG, XWD,
// ZYRIMG); OUT is written as GIF (-i: interlaced), PNG, XWD or ZYRIMG by its
// extension (".gif", ".png", ".xwd", anything else ZYRIMG).  No display is
// needed: files are read as for a 32-bit window.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "gks/imgfile.h"
#include "image/gif.h"
#include "image/img.h"
#include "image/pngio.h"
#include "image/xwd.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: imgconv [-i] IN OUT   (OUT: .gif, .png, .xwd or ZYRIMG)\n");
    return 2;
}

bool ends_with(const std::string &s, const char *ext)
{
    size_t n = std::strlen(ext);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++)
        if (std::tolower((unsigned char)s[s.size() - n + i]) != ext[i]) return false;
    return true;
}

// The dispatch's choice by the first bytes, with the record's depth that of
// a 32-bit window instead of the (absent) display's.
int read_any(const char *name, IMG *img)
{
    FILE *f = std::fopen(name, "rb");
    if (!f) {
        std::fprintf(stderr, "imgconv: cannot open %s\n", name);
        return 0;
    }
    char head[7] = {0};
    size_t n = std::fread(head, 1, 6, f);
    if (n >= 3 && !std::strncmp(head, "** ", 3)) {
        int c;
        std::fseek(f, 0, SEEK_SET);
        while ((c = std::getc(f)) != EOF && c != '\n') {}
        std::memset(head, 0, sizeof head);
        if (std::fread(head, 1, 6, f) < 3) head[0] = 0;
    }
    std::fclose(f);
    IMG_init(img);
    img->depth = 32;
    int rc;
    if (!std::strncmp(head, "ZYR", 3)) rc = IMG_read_zyr(name, img, 0) == 1;
    else if (!std::strncmp(head, "GIF", 3)) rc = GIF_read(name, img, 0);
    else if (!std::strncmp(head + 1, "PNG", 3)) rc = PNG_read(name, img, 0);
    else rc = XWD_read(name, img, 0);
    if (!rc) IMG_free(img);
    return rc;
}

}  // namespace

int main(int argc, char **argv)
{
    int a = 1;
    bool interlace = false;
    if (a < argc && !std::strcmp(argv[a], "-i")) {
        interlace = true;
        a++;
    }
    if (argc - a != 2) return usage();
    const char *in = argv[a], *out = argv[a + 1];
    IMG img;
    if (!read_any(in, &img)) {
        std::fprintf(stderr, "imgconv: cannot read %s\n", in);
        return 1;
    }
    const std::string o = out;
    int type = ends_with(o, ".gif") ? GSAVE_GIF : ends_with(o, ".png") ? GSAVE_PNG
             : ends_with(o, ".xwd") ? GSAVE_XWD : GSAVE_ZYR;
    GIF_interlace(interlace);
    int rc = gwrite_image_file(out, &img, type);
    IMG_free(&img);
    if (!rc) {
        std::fprintf(stderr, "imgconv: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
