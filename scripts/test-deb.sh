#!/usr/bin/env bash
# Builds the Debian package and tries it as a user gets it:
#   - a Release build tree configured for /usr, then cpack -G DEB;
#   - dpkg -c must list the programs, the gzipped manual pages and changelog,
#     the copyright file and every file of data/ under /usr/share/zyrsat;
#   - apt install ./zyrsat_<version>_amd64.deb;
#   - with the build tree moved away, from an empty folder and a clean
#     environment: zyrsat -h and the demo job of scripts/demo.sh (a loop made
#     by the installed generator, its newest frame plotted to PNG and
#     PostScript), whose files must equal those the build tree made; under
#     strace (when present) nothing outside /usr, /etc and the run folder
#     may be opened, the source tree above all;
#   - apt purge zyrsat, after which no file or folder the package brought
#     is left.
# Needs root (apt).  scripts/test.sh runs it after the test suite when
# CI=true or ZYR_TEST_DEB=1.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS
say() { echo "test-deb: $*"; }
fail() { echo "test-deb: FAILED: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "needs root (apt install and apt purge)"
if dpkg-query -W -f='${Status}' zyrsat 2>/dev/null | grep -q "ok installed"; then
  fail "a zyrsat package is already installed; purge it first (apt purge zyrsat)"
fi

work=$(mktemp -d /tmp/zyrsat-deb.XXXXXX)
chmod 755 "$work"  # apt reads the package as its own unprivileged user
build=$root/build-deb
moved=$work/build-deb
installed=0
cleanup() {
  local status=$?
  if [ "$installed" = 1 ] && dpkg-query -W zyrsat >/dev/null 2>&1; then
    apt-get purge -y -qq zyrsat >/dev/null 2>&1 || true
  fi
  [ -d "$moved" ] && [ ! -e "$build" ] && mv "$moved" "$build"
  [ -n "${ZYR_TEST_DEB_KEEP:-}" ] && echo "test-deb: kept $work" || rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

# The Release tree: only the programs, ccache when there is one (paths
# relative to the source tree, so other checkouts' objects are reused).
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
scripts/build.sh build-deb -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZYR_TESTS=OFF -DZYR_BENCH=OFF "${launcher[@]}" >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log"; fail "Release build"; }
mkdir "$work/pkg"
(cd "$build" && cpack -G DEB -B "$work/pkg") >"$work/cpack.log" 2>&1 ||
  { tail -n 40 "$work/cpack.log"; fail "cpack -G DEB"; }
rm -rf "$work/pkg/_CPack_Packages"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$work/pkg/zyrsat_${version}_amd64.deb
[ -f "$deb" ] || fail "no $(basename "$deb") in $(ls "$work/pkg")"
say "built $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB) in $((SECONDS - start)) s"
say "Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q "libc6" || fail "dpkg-shlibdeps gave no Depends"

# What the package holds: paths without the leading "." of dpkg -c.
dpkg -c "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$work/paths"
listed() { grep -qx "$1" "$work/paths" || fail "dpkg -c does not list $1"; }
for f in /usr/bin/zyrsat /usr/bin/zyrproc /usr/libexec/zyrsat/make_demo_loop \
  /usr/share/man/man1/zyrsat.1.gz /usr/share/man/man1/zyrproc.1.gz /usr/share/doc/zyrsat/copyright /usr/share/doc/zyrsat/changelog.gz; do
  listed "$f"
done
(cd data && find . -type f | sed 's|^\.|/usr/share/zyrsat|') | while read -r f; do listed "$f"; done
for f in man/man1/zyrsat.1.gz man/man1/zyrproc.1.gz doc/zyrsat/changelog.gz; do
  dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/share/$f" | gzip -t || fail "$f is not gzip data"
done
say "dpkg -c: $(grep -c . "$work/paths") paths; $(grep -c '^/usr/bin/' "$work/paths") in /usr/bin," \
  "$(find data -type f | wc -l) data files under /usr/share/zyrsat, the manual pages, copyright and changelog"

# The demo job in the build tree, for the installed copy to match.
demo() {  # demo ZYRSAT MAKE_DEMO_LOOP FOLDER
  mkdir -p "$3" && cd "$3"
  "$2" sat --frames 24 >files.txt
  local newest common=(-b -pd us -pp irbar,lalo=10 -la "Infrared demo loop")
  newest=$(tail -n 1 files.txt)
  "$1" "${common[@]}" -de d,mem -out_file "png=$3/zyrsat-demo.png" "$newest" </dev/null
  "$1" "${common[@]}" -de "p,$3/zyrsat-demo.ps" "$newest" </dev/null
  cd "$root"
}
demo "$build/zyrsat" "$build/make_demo_loop" "$work/ref" >"$work/ref.log" 2>&1 ||
  { cat "$work/ref.log"; fail "the demo job in the build tree"; }

# Install; the folders the package shares with others are those already there.
while read -r p; do [ -e "$p" ] && echo "$p"; done <"$work/paths" >"$work/before"
mv "$build" "$moved"
installed=1
(cd "$work/pkg" && DEBIAN_FRONTEND=noninteractive apt install -y ./"$(basename "$deb")") \
  >"$work/apt.log" 2>&1 </dev/null || { cat "$work/apt.log"; fail "apt install"; }
say "apt install ./$(basename "$deb"): $(dpkg-query -W -f='${Status} ${Version}' zyrsat)"

# From an empty folder with a clean environment, the build tree gone.
run=$work/run
mkdir "$run"
clean_env=(env -i PATH=/usr/bin:/bin HOME="$run" LANG=C.UTF-8)
[ "$("${clean_env[@]}" sh -c 'command -v zyrsat')" = /usr/bin/zyrsat ] || fail "zyrsat is not /usr/bin/zyrsat"
(cd "$run" && "${clean_env[@]}" zyrsat -h >"$work/help.txt" 2>&1 </dev/null) || fail "zyrsat -h: status $?"
grep -q "^   zyrsat \[options" "$work/help.txt" || { cat "$work/help.txt"; fail "zyrsat -h printed no usage"; }
trace=()
if command -v strace >/dev/null; then
  trace=(strace -f -qq -e trace=open,openat,stat,newfstatat,access,execve -o "$work/trace.txt")
fi
(cd "$run" && "${trace[@]}" "${clean_env[@]}" bash -c "$(declare -f demo); root=$run; demo zyrsat /usr/libexec/zyrsat/make_demo_loop $run") \
  >"$work/run.log" 2>&1 || { cat "$work/run.log"; fail "the demo job from /usr"; }
for f in zyrsat-demo.png zyrsat-demo.ps; do
  [ -s "$run/$f" ] || fail "the installed demo job wrote no $f"
done
# The PNG chunks but the text ones (which hold the creation time).
png_sum() {
  python3 -c '
import hashlib, struct, sys
d = open(sys.argv[1], "rb").read(); i = 8; h = hashlib.sha256()
while i < len(d):
    n, t = struct.unpack(">I", d[i:i + 4])[0], d[i + 4:i + 8]
    if t not in (b"tEXt", b"zTXt", b"iTXt", b"tIME"): h.update(d[i:i + 12 + n])
    i += 12 + n
print(h.hexdigest())' "$1"
}
[ "$(png_sum "$work/ref/zyrsat-demo.png")" = "$(png_sum "$run/zyrsat-demo.png")" ] ||
  fail "the installed PNG differs from the build tree's"
# The page differs only in its creation date.
diff <(grep -v '^%%CreationDate' "$work/ref/zyrsat-demo.ps") <(grep -v '^%%CreationDate' "$run/zyrsat-demo.ps") \
  >/dev/null || fail "the installed PostScript page differs from the build tree's"
if [ ${#trace[@]} -gt 0 ]; then
  # Paths the run opened or looked at, apart from failed probes of the
  # dynamic loader and locale files: all must lie in /usr, /etc, /proc, /dev
  # or the run folder.
  grep -v ' = -1 ' "$work/trace.txt" | grep -o '"/[^"]*"' | tr -d '"' |
    sed -E ':a; s#/[^/]+/\.\./#/#; ta' | sort -u >"$work/opened"
  grep -q '^/usr/share/zyrsat/' "$work/opened" || fail "the run read nothing from /usr/share/zyrsat"
  stray=0
  while read -r p; do
    case $p in
      /usr/* | /etc/* | /lib* | /bin/* | /proc/* | /sys/* | /dev/* | "$run" | "$run"/*) ;;
      *) [[ $run == "$p"/* || $p == / ]] || { echo "opened: $p" >&2; stray=$((stray + 1)); } ;;
    esac
  done <"$work/opened"
  [ "$stray" -eq 0 ] || fail "the installed programs looked outside /usr, /etc and the run folder"
  say "strace: $(grep -c '^/usr/share/zyrsat/' "$work/opened") data files read from /usr/share/zyrsat, none elsewhere"
else
  say "strace is missing: the check of the files the run opens is skipped"
fi
say "from /usr in an empty folder: zyrsat -h ($(wc -l <"$work/help.txt") lines), demo job:" \
  "$(du -k "$run/zyrsat-demo.png" | cut -f1) KiB PNG and $(du -k "$run/zyrsat-demo.ps" | cut -f1) KiB PostScript," \
  "both equal to the build tree's"

# Purge: nothing the package brought may stay.
DEBIAN_FRONTEND=noninteractive apt purge -y zyrsat >"$work/purge.log" 2>&1 </dev/null ||
  { cat "$work/purge.log"; fail "apt purge"; }
installed=0
if dpkg-query -W -f='${Status}' zyrsat 2>/dev/null | grep -qv "not-installed"; then
  fail "dpkg still knows zyrsat: $(dpkg-query -W -f='${Status}' zyrsat)"
fi
left=0
while read -r p; do
  if [ -e "$p" ] && ! grep -qx "$p" "$work/before"; then echo "left behind: $p" >&2; left=$((left + 1)); fi
done <"$work/paths"
for d in /usr/share/zyrsat /usr/share/doc/zyrsat /usr/libexec/zyrsat; do
  [ -e "$d" ] && { echo "left behind: $d" >&2; left=$((left + 1)); }
done
[ "$left" -eq 0 ] || fail "apt purge left $left paths"
say "apt purge -y zyrsat: of the $(grep -c . "$work/paths") listed paths only the" \
  "$(grep -c . "$work/before") folders there before the install are left ($(paste -sd' ' "$work/before"))"
mv "$moved" "$build"
say "passed in $((SECONDS - start)) s"
