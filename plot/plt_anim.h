// Animated loop files requested by plot parameter words: after the walk
// over the input files, every frame of the loop goes into one animated GIF
// ("anim") or APNG ("apng") file, each frame with its delay from the frame
// table, looping forever.
//
// The words: "anim" and "apng", each optionally followed by one separator
// character and a file-name convention or template ("anim=loop_%y%m%d.gif").
// Both may be given in one run; each writes its own file.  No other plot
// parameter word begins with either, and neither begins any other word, so
// the words of both decoders of "plot_param" pass them by.
#pragma once

// Animation file types.
enum { PLT_ANIM_GIF = 1, PLT_ANIM_APNG = 2 };

// Decodes one plot parameter word: 1 when it was "anim..." or "apng..."
// (the request is then set), 0 for any other word.
int PLT_anim_word(const char *word);

// Requests (name: the convention, null or "" for the default
// "zyr_loop.gif" / "zyr_loop.png") or, with type 0, cancels both requests.
int PLT_set_anim(int type, const char *name);

// Bit mask of the requested types (1 GIF, 2 APNG); 0 for none.
int PLT_get_anim();

// Writes the requested animation files from the workstation's frames, or
// from the window's picture when the walk made no frames; `pictures` is the
// number of pictures the walk drew (0: nothing to write).  The name is built
// like a dump's: the convention with the date of the current file, key i =
// "loop", key p = the window title, along the "image_path" resource.
// Returns -1 when no animation is requested, 1 when every requested file
// was written, 0 when one failed (reported; the run goes on).
int PLT_anim_dump(int pictures);
