#!/usr/bin/env bash
# Cross-builds talmeru-cli.exe and the Qt-free test programs for 64-bit Windows with MinGW-w64
# and runs the tests under Wine. The libraries are built from Debian's own source packages once
# and kept in the build folder (build-windows/deps), so later runs only build Talmeru.
# Usage: tools/windows/build.sh [--no-tests] [gtest arguments for every test program...]
set -euo pipefail
TALMERU_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$TALMERU_ROOT/tools/common.sh"

OUT=${TALMERU_WINDOWS_BUILD:-$TALMERU_ROOT/build-windows}
DEPS=$OUT/deps
export TALMERU_WINDOWS_PREFIX=$DEPS/prefix
TOOLCHAIN=$TALMERU_ROOT/tools/windows/mingw-w64.cmake
WINE=/usr/lib/wine/wine64
run_tests=1
if [[ ${1:-} == --no-tests ]]; then
  run_tests=0
  shift
fi

talmeru_install_deps g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64 dpkg-dev

# apt-get source needs the archive's source lines: copies of the machine's own package lines
# for its release (with their keys), added once.
talmeru_windows_sources() {
  local release
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  if apt-get indextargets --format '$(RELEASE) $(TARGET_OF)' | grep -qx "$release deb-src"; then
    return
  fi
  local lists=(/etc/apt/sources.list.d/*.sources) lines=()
  [[ -e ${lists[0]} ]] && mapfile -t lines < <(awk -v RS= -v r="$release" \
    '$0 ~ "(^|\n)Types:[^\n]*deb" && $0 ~ "Suites:[^\n]*[ ]" r "([ ]|\n|$)" {
       sub(/Types:[^\n]*/, "Types: deb-src"); print $0 "\n" }' "${lists[@]}")
  if ((${#lines[@]} == 0)) && [[ -f /etc/apt/sources.list ]]; then
    mapfile -t -O "${#lines[@]}" lines < <(awk -v r="$release" \
      '$1 == "deb" && index($0, " " r " ") { $1 = "deb-src"; print }' /etc/apt/sources.list)
  fi
  ((${#lines[@]})) || { echo "No package archive for $release to take sources from" >&2; exit 1; }
  local sudo=() file=/etc/apt/sources.list.d/talmeru-sources.sources
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  [[ ${lines[0]} == deb-src* ]] && file=/etc/apt/sources.list.d/talmeru-sources.list
  printf '%s\n' "${lines[@]}" | "${sudo[@]}" tee "$file" >/dev/null
  "${sudo[@]}" apt-get update -qq
}

# talmeru_windows_dep SOURCE-PACKAGE cmake|configure [args...]: fetches, builds and installs
# one library into the prefix, unless the same version is there already.
talmeru_windows_dep() {
  local package=$1 how=$2 version
  shift 2
  version=$(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | head -1)
  [[ -n $version ]] || { echo "No source package $package" >&2; exit 1; }
  local stamp="$DEPS/stamps/$package"
  [[ -f $stamp && $(<"$stamp") == "$version" ]] && return
  echo "== Windows: building $package $version" >&2
  rm -rf "$DEPS/src/$package" "$DEPS/build/$package"
  mkdir -p "$DEPS/src/$package" "$DEPS/stamps"
  (cd "$DEPS/src/$package" && apt-get source -qq "$package=$version" >/dev/null 2>&1)
  local tree
  tree=$(find "$DEPS/src/$package" -mindepth 1 -maxdepth 1 -type d | head -1)
  local log="$DEPS/build/$package.log"
  mkdir -p "$DEPS/build/$package"
  if ! if [[ $how == cmake ]]; then
    cmake -S "$tree" -B "$DEPS/build/$package" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$TALMERU_WINDOWS_PREFIX" \
      -DBUILD_SHARED_LIBS=OFF "$@" &&
      cmake --build "$DEPS/build/$package" -j2 && cmake --install "$DEPS/build/$package"
  else
    # Opus's CMake files in its release lack a file they include; its configure script is whole.
    (cd "$DEPS/build/$package" && "$tree/configure" --host=x86_64-w64-mingw32 \
      CC=x86_64-w64-mingw32-gcc-posix --prefix="$TALMERU_WINDOWS_PREFIX" --disable-shared \
      --enable-static "$@" && make -j2 && make install)
  fi >"$log" 2>&1; then
    tail -30 "$log" >&2
    echo "Building $package for Windows failed; its log: $log" >&2
    exit 1
  fi
  local pc
  for pc in "$TALMERU_WINDOWS_PREFIX"/lib/pkgconfig/*.pc; do
    case $(basename "$pc") in
      rtaudio.pc) talmeru_windows_static_pc "$pc" \
        "-lole32 -lwinmm -lksuser -lmfplat -lmfuuid -lwmcodecdspuuid -ldsound" ;;
      rtmidi.pc)
        talmeru_windows_static_pc "$pc" "-lwinmm"
        grep -q -- '-I${prefix}/include ' "$pc" || sed -i 's|^Cflags:|Cflags: -I${prefix}/include |' "$pc" ;;
      # Opus's configure fortifies its calls, which then need GCC's stack protector library.
      opus.pc) talmeru_windows_static_pc "$pc" "-lssp" ;;
      *) talmeru_windows_static_pc "$pc" "" ;;
    esac
  done
  echo "$version" >"$stamp"
}

# Static linking needs every library behind a library on the Libs line: what the .pc files keep
# in Libs.private and Requires.private (the codecs behind libsndfile, the Windows system
# libraries behind RtAudio and RtMidi, which name them only in their CMake files). RtMidi's
# headers are included as <rtmidi/RtMidi.h>, as Debian installs them, so its Cflags also name
# the folder above. -lpthread goes: CMake would find winpthread's DLL import library for it,
# while g++ -static links winpthread's archive by itself. Done once for each .pc file as a
# library installs it.
talmeru_windows_static_pc() {
  local pc=$1 extra=$2
  grep -q '^# static' "$pc" && return
  awk -v extra="$extra" '
    /^Libs.private:/ { sub(/^Libs.private:/, ""); priv = priv " " $0; next }
    /^Requires.private:/ { sub(/^Requires.private:/, ""); req = req " " $0; next }
    { lines[++n] = $0 }
    END {
      print "# static"
      for (i = 1; i <= n; i++) {
        line = lines[i]
        if (line ~ /^Libs:/) { line = line priv " " extra; gsub(/ -lpthread/, "", line) }
        if (line ~ /^Requires:/) {
          rest = line; sub(/^Requires:[ ]*/, "", rest)
          line = "Requires: " rest ((rest ~ /[^ ]/ && req ~ /[^ ]/) ? "," : "") req
          had = 1
        }
        print line
      }
      if (!had && req ~ /[^ ]/) print "Requires:" req
    }' "$pc" >"$pc.new"
  mv "$pc.new" "$pc"
}

talmeru_windows_sources
talmeru_windows_dep libogg cmake -DINSTALL_DOCS=OFF
talmeru_windows_dep libvorbis cmake
talmeru_windows_dep opus configure --disable-doc --disable-extra-programs
talmeru_windows_dep flac cmake -DBUILD_TESTING=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
  -DINSTALL_MANPAGES=OFF -DWITH_FORTIFY_SOURCE=OFF -DWITH_STACK_PROTECTOR=OFF
talmeru_windows_dep libsndfile cmake -DCMAKE_C_FLAGS=-DFLAC__NO_DLL -DBUILD_TESTING=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DENABLE_MPEG=OFF \
  -DENABLE_EXTERNAL_LIBS=ON -DINSTALL_MANPAGES=OFF -DENABLE_CPACK=OFF
talmeru_windows_dep rtaudio cmake -DRTAUDIO_BUILD_TESTING=OFF -DRTAUDIO_API_WASAPI=ON \
  -DRTAUDIO_API_DS=ON -DRTAUDIO_API_ASIO=OFF
talmeru_windows_dep rtmidi cmake -DRTMIDI_BUILD_TESTING=OFF -DRTMIDI_API_WINMM=ON
talmeru_windows_dep googletest cmake -DBUILD_GMOCK=ON
talmeru_windows_dep nlohmann-json3 cmake -DJSON_BuildTests=OFF
talmeru_windows_dep cli11 cmake -DCLI11_BUILD_TESTS=OFF -DCLI11_BUILD_EXAMPLES=OFF -DCLI11_BUILD_DOCS=OFF

talmeru_configure "$OUT" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALMERU_GUI=OFF -DTALMERU_PLUGIN=OFF -DTALMERU_BENCH=OFF -DTALMERU_WERROR=ON
cmake --build "$OUT" -j2 --target talmeru-cli talmeru_core_tests talmeru_cli_tests
cp "$OUT/src/talmeru-cli.exe" "$OUT/talmeru-cli.exe"
((run_tests)) || exit 0

# Wine keeps its own Windows in a prefix of the build folder. Without its .NET and HTML
# installers and its sound drivers (there is no sound card here), it starts quickly and quietly.
export WINEPREFIX="$OUT/wine" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv=d"
[[ -d $WINEPREFIX ]] || "$WINE" cmd /c exit >/dev/null 2>&1 || true
echo "== Qt-free tests under Wine"
status=0
for test in talmeru_core_tests talmeru_cli_tests; do
  (cd "$OUT/tests" && "$WINE" "./$test.exe" --gtest_brief=1 "$@") || status=1
done
/usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
