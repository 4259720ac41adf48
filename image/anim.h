// Animated loop files: every frame of a loop in one GIF or APNG file, each
// with its own delay, looping forever.
//
// Frames are image records of any layout the GIF, PNG and XWD writers take;
// they are read, never changed.  The first frame's size is the size of the
// animation; other frames are laid at the top left, cut or padded with the
// first palette colour.
#pragma once

struct IMG;

struct ANIM_frame {
    const IMG *image;
    float delay;  // seconds
};

// Animated GIF (the program's own LZW coder, NETSCAPE2.0 loop 0).  One
// global palette when the frames hold at most 256 colours in all, else a
// local table per frame.  With a global palette each later frame holds only
// the rectangle that changed, unchanged pixels in it transparent, over the
// frame before (disposal "do not dispose").  Delays in centiseconds.
// 1 success, 0 failure (message naming the file; no file for no frames).
int ANIM_write_gif(const char *name, const ANIM_frame *frames, int n);

// Animated PNG: frame 0 is also the default image, so plain PNG viewers
// show it; acTL with num_plays 0, one fcTL per frame (delay in
// centiseconds: delay_num / 100), later frames as fdAT.  A palette image
// when the frames hold at most 256 colours in all, else RGB.
int ANIM_write_apng(const char *name, const ANIM_frame *frames, int n);

// The frames of the workstation's loop (or the window's picture when there
// are none) read back one by one into an animated file: `apng` 0 GIF,
// 1 APNG.  1 success, 0 failure.
int ANIM_dump(const char *name, int apng);
