// The satellite display driver: the program's resources and, as the program
// grows, the per-file and per-frame plotting.
#pragma once

// The resources this program declares, as zero-ended id lists in the order
// its help lists them: the keyed options, then the positional file names.
const int *SAT_keyed_resources();
const int *SAT_positional_resources();

struct DOM;
struct DATE;
struct RES_DESC;

// Fills a resource description from the program's catalogue by id: 0, or
// -1 for an id the catalogue does not have.
int RES_enter(RES_DESC *desc, int id);

// Ends the process with the status, output flushed: the only place the
// program ends (besides the X error handlers, which Xlib gives no way back).
[[noreturn]] void ZYR_exit(int status);
// Ends the process when a library function has requested the program's end
// (ZYR_request_exit) and returns otherwise.  Called after every call that
// can ask for it.
void SAT_exit_if_requested();

// Fills every hook slot the lower layers call up through (domains, file
// time, time zone, image files, plot messages and window events, the
// resource catalogue).  Called first thing by the program, and by every
// tool and test program that uses the whole system.
void SAT_register_hooks();

// Puts every layer back to its program-start state, top layer first (open
// workstations and files closed, tables emptied, settings at their start
// values), and fills the hook table again.  For programs that run the
// system more than once in one process: the tests, before each test.
void SAT_reset_all();
// Program start of the driver's own state: no image, domain or file held.
void SAT_reset_driver();

// The output image file: 0 none, 1 plain ZYRIMG, 2 compressed; sets the
// output name convention.
int SAT_out_file();
// Start date of the file walk; null takes the current file's date.
int SAT_set_date(const DATE *date);
// Plots every file for the domain; also the zoom and resize callback.
int SAT_plot(DOM *domain);
// Processes the image read last and draws it into the current frame.
int SAT_plot_frame();
// Refresh callback: adds a newer file to the loop.  The domain is ignored.
int SAT_plot_nextfile(DOM *domain);
// Mouse callback: value print, zoom, resize.
int SAT_callback(int event, const char *key, float x, float y);
// Program steps after the help: input type, domain, banner, file name,
// date and the plot.  Returns 0.
int SAT_main();
