// One smoke plot per device and output format by the built zyrsat in batch,
// read back by an independent tool (identify, ghostscript, hp2xx, a CGM
// element walk, PIL); the rows spread the readers and plot words too.
#include <sstream>
#include "tests/gks/drivers/drv_util.h"
#include "tests/gks/gks_test_util.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using testutil::Result;

// The bound on the plotter run's peak resident size in kB: a plain build
// needs 10 MB, the sanitizers add 40 MB, a picture of plotter size 77 MB.
#if defined(__SANITIZE_ADDRESS__)
#define PEAK_KB "92160"
#else
#define PEAK_KB "40960"
#endif

// Inputs: "@" and a shared sample's path, copied into the scratch folder.
const char *kGini = "@gini/EAST-CONUS_8km_13.3_20050912_2240.gini";
const char *kEarly = "@gini/EAST-CONUS_4km_12.0_20050912_0600.gini";
const char *kArea = "@area/cmx3g8_wv_1998.260_0745_mcidas.ara";
const char *kLrit = "@lrit/IMG_ENH_01_IR1_20120101_000920_02.lrit";
const char *kTiff = "@tiff/intergraph_geog.tif";

// An animated file's frames against the dumps named after it: "frames
// loop", then per frame "duration same|DIFF".
const char *kLoopOracle = R"PY(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
print(im.n_frames, im.info.get('loop'))
for k in range(im.n_frames):
    im.seek(k)
    d = Image.open(sys.argv[2 + k]) if k + 2 < len(sys.argv) else None
    same = d and d.size == im.size and d.convert('RGB').tobytes() == im.convert('RGB').tobytes()
    print(round(im.info.get('duration', -1)), 'same' if same else 'DIFF')
)PY";

// Per page: "ink" when black covers over 5 %, "colour" when magenta exceeds
// cyan (red map lines), else "grey".
const std::string kInk = "gs -q -o - -sDEVICE=inkcov %s | awk '{print ($4 > 0.05 ? \"ink\" : \"blank\"), "
                         "($2 > $1 + 0.001 ? \"colour\" : \"grey\")}'";
std::string ink(const std::string &file) { return std::string(kInk).replace(kInk.find("%s"), 2, file); }

// A binary CGM's first and last element, pictures, whether every element
// is whole and there are many.
std::string cgm(const std::string &path)
{
    std::string err;
    std::vector<drvtest::Element> e = drvtest::decode(testutil::read_file(path), &err);
    if (e.empty()) return "empty " + err;
    auto name = [](const drvtest::Element &x) { return std::to_string(x.cls) + "," + std::to_string(x.id); };
    const auto pictures = std::count_if(e.begin(), e.end(), [&](const auto &x) { return name(x) == "0,3"; });
    return "first " + name(e.front()) + " last " + name(e.back()) + " pictures " + std::to_string(pictures) +
           (e.size() > 100 ? " many" : " few") + (err.empty() ? "" : " " + err);
}

struct Smoke {
    const char *name;
    const char *tool;               // the tools the check needs ("PIL": python3 with PIL)
    std::vector<std::string> args;  // after "-b"
    bool x;                         // on a private X server ("d,X"), never with DISPLAY
    std::string check, want;        // a shell command in the scratch folder and its output
    std::string message = "";       // in zyrsat's output
};

const Smoke kSmoke[] = {
    // The display named by the device, not by DISPLAY; "png" in out_file
    // is a picture dump, not a native image file.
    {"X window, PNG dump", "identify",
     {"-inp", "awip", "-pd", "us", "-de", "d,X", "-out_file", "png=x_%i.png", kGini}, true,
     "identify -format '%m %w %h' x_win.png", "PNG 640 512"},
    {"headless window, GIF dump", "identify",
     {"-inp", "area", "-pd", "se", "-de", "d,mem", "-ge", "500x400", "-pp", "gif=m.gif,irbar,lalo=10", "-la",
      "ul:GIF", "-bg", "navy", kArea},
     false, "identify -format '%m %w %h' m.gif", "GIF 500 400"},
    {"headless window, XWD dump, inverse", "identify",
     {"-inp", "lrit", "-de", "d,mem", "-ge", "400x300", "-pp", "xwd=m.xwd,inv", "-dr", "data,map,text", kLrit},
     false, "identify -format '%m %w %h' m.xwd", "XWD 400 300"},
    // A page per file, each labelled with its own file's date.
    {"PostScript, two files", "gs",
     {"-inp", "awip", "-pd", "us", "-de", "p,out.ps", "-la", "lc:IR %D", kEarly, kGini}, false,
     ink("out.ps") + "; grep '^%%TE:.* IR ' out.ps | sed 's/.* IR /IR /'",
     "ink grey\nink grey\nIR 0600Z 12 SEP 05\nIR 2240Z 12 SEP 05\n"},
    {"PostScript in colour", "gs",
     {"-inp", "area", "-pd", "se", "-de", "p,c.ps", "-com", "red", "-pp", "pscolor", kArea}, false, ink("c.ps"),
     "ink colour\n"},
    // Ghostscript's bounding box of the drawing lies inside the declared one.
    {"EPS", "gs",
     {"-inp", "tiff", "-pd", "ll,2.88,-2.19,301,301,0.0005,0.0005", "-pp", "irbar", "-de", "p,out.eps,port,eps,color",
      kTiff},
     false, "head -1 out.eps; gs -q -dBATCH -dNOPAUSE -sDEVICE=bbox out.eps 2>&1 | awk '/^%%BoundingBox/ {print "
     "($2 >= 0 && $3 >= 0 && $4 <= 756 && $5 <= 576 && $4 > $2 && $5 > $3)}'",
     "%!PS-Adobe-3.0 EPSF-3.0\n1\n"},
    // A page per file (hp2xx writes the second to out.1.pbm); a whole
    // plotter page (10150 x 7612 units) needs no picture of that size.
    {"HPGL, two files", "hp2xx identify /usr/bin/time",
     {"-inp", "awip", "-pd", "us", "-pp", "irbar", "-de", "h,out.hpgl", kEarly, kGini}, false,
     "hp2xx -q -m pbm -f out.pbm out.hpgl && identify -format '%m %k\\n' out.pbm out.1.pbm; "
     "awk '{print \"small\", $1 < " PEAK_KB "}' peak",
     "PBM 2\nPBM 2\nsmall 1\n"},
    // Asking for the native image file makes a plotter remap the picture.
    {"CGM, two files", "",
     {"-inp", "awip", "-pd", "us", "-pp", "irbar", "-de", "m,out.cgm,cgm", "-out_file", "img=c_%h%n.zyr", kEarly,
      kGini},
     false, "cgm", "first 0,1 last 0,2 pictures 2 many"},
    {"text metafile, two files", "",
     {"-inp", "awip", "-pd", "us", "-pp", "irbar", "-de", "m,out.meta,zyr", kEarly, kGini}, false,
     "head -1 out.meta; grep -c '^PAGE' out.meta", "ZYRMETA\n1\n"},
    // The native image file, named from the image's date, read back by a
    // second run.
    {"ZYRIMG", "identify",
     {"-inp", "awip", "-pd", "us", "-de", "p,a.ps", "-pp", "no_pixave", "-out_file", "img=out_%Y%m%d_%h%15n.zyr",
      kGini},
     false, testutil::quote(testutil::kZyrsat) + " -b -inp img -de d,mem -ge 320x240 -pp png=back.png "
     "out_20050912_2230.zyr >/dev/null && identify -format '%m %w %h' back.png",
     "PNG 320 240", "Writing image file: "},
    // A window dump as a native image file carries the plot's domain,
    // widened to the window: a second run remaps it (without the domain, to
    // a blank of three colours).
    {"ZYRIMG window dump", "identify",
     {"-inp", "awip", "-pd", "us", "-de", "d,mem", "-ge", "320x240", "-pp", "img=w.zyr", kGini}, false,
     "sed -n 4p w.zyr | awk '{print substr($1, 1, 3), $6, $7}'; " + testutil::quote(testutil::kZyrsat) +
         " -b -inp img -pd lamb,40,-90,320,240,0.1,0.1 -de d,mem -pp png=back.png w.zyr >/dev/null && "
         "identify -format '%k' back.png | awk '{print ($1 > 8)}'",
     "PS: 320 240\n1\n"},
    // The unreadable middle file makes no frame: two frames, dumped as 00
    // and 01, shown half a second, the last one second.
    {"animated GIF and APNG", "PIL",
     {"-inp", "awip", "-pd", "us", "-de", "d,mem", "-pp", "irbar,anim=loop.gif,apng=loop.png,png=f_%i.png", kEarly,
      "bad.gini", kGini},
     false,
     "for f in loop.gif loop.png; do \"$PY\" oracle.py $f f_00.png f_01.png; done; ls f_02.png 2>&1 >/dev/null | wc -l",
     "2 0\n500 same\n1000 same\n2 0\n500 same\n1000 same\n1\n", "SAT_read_AWIP"},
    // One file makes no frames: the window's picture is the loop.
    {"animated GIF of one file", "PIL",
     {"-inp", "awip", "-pd", "us", "-de", "d,mem", "-pp", "anim=one.gif,png=one_%i.png", kGini}, false,
     "\"$PY\" oracle.py one.gif one_win.png", "1 0\n1000 same\n"},
};

TEST(E2eSmoke, EveryDeviceAndFormat)
{
    if (!fs::exists(testutil::kZyrsat)) GTEST_SKIP() << "no zyrsat built";
    gkstest::XServer server(24);
    std::vector<std::string> missing;
    for (const Smoke &c : kSmoke) {
        SCOPED_TRACE(c.name);
        std::istringstream tools(c.tool);
        std::string lack = c.x && !server.ok() ? "Xvfb" : "";
        for (std::string t; tools >> t;)
            if (t == "PIL" ? testutil::python().empty() : !testutil::have(t)) lack = t;
        for (const std::string &a : c.args)
            if (a[0] == '@' && !fs::exists(testutil::shared(a.substr(1)))) lack = "shared sample " + a.substr(1);
        if (!lack.empty()) {
            missing.push_back(std::string(c.name) + " needs " + lack);
            continue;
        }
        testutil::ScratchDir dir;
        dir.write("oracle.py", kLoopOracle);
        dir.write("bad.gini", std::string(4000, 'x'));
        std::vector<std::string> args = {"/usr/bin/time", "-f", "%M", "-o", "peak", testutil::kZyrsat, "-b"};
        if (std::string(c.tool).find("/usr/bin/time") == std::string::npos)
            args.erase(args.begin(), args.begin() + 5);
        for (std::string a : c.args) {
            if (a[0] == '@') a = dir.write(fs::path(a).filename(), testutil::read_file(testutil::shared(a.substr(1))));
            args.push_back(a == "d,X" ? "d," + server.name() : a);
        }
        Result r = testutil::run(args, dir.path(), "-u DISPLAY");
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        std::string got = c.check == "cgm"
                              ? cgm(dir.file("out.cgm"))
                              : testutil::shell("PY=" + testutil::python() + "; " + c.check, dir.path()).out;
        EXPECT_EQ(got, c.want) << r.out;
    }
    if (!missing.empty()) GTEST_SKIP() << testing::PrintToString(missing) << " (the other rows ran)";
}

}  // namespace
