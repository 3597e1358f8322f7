#!/usr/bin/env bash
# Prepares a Debian 12 machine to build Zerva: installs the cross toolchain, Wine and Xvfb when
# missing, and fetches the Dear ImGui and minizip sources from Debian's archive into a cache
# outside the work tree. Safe to run again: it only does what is still missing.
set -euo pipefail

CACHE="${ZERVA_DEPS_CACHE:-$HOME/.cache/zerva-deps}"
PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev wine64 wine xvfb
          xauth libgl1-mesa-dri cmake ninja-build googletest python3 ca-certificates bzip2 xz-utils
          debian-archive-keyring openssl fonts-dejavu-core)

IMGUI_VERSION="1.90.1"
IMGUI_TARBALL="imgui_1.90.1+ds.orig.tar.xz"
IMGUI_SHA256="ecce377df0f90b292f15dcbd83d438bddc162b2388c881132bde18c787572a1c"
ZLIB_UPSTREAM="1.2.13"

log() { printf 'setup: %s\n' "$*"; }

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# A private APT configuration with deb-src lines, so the machine's own sources stay untouched.
private_apt() {
    local dir="$CACHE/apt"
    mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial"
    cat >"$dir/sources.list" <<SRC
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian trixie main
SRC
    cat >"$dir/apt.conf" <<CONF
Dir::Etc::sourcelist "$dir/sources.list";
Dir::Etc::sourceparts "/nonexistent";
Dir::State::Lists "$dir/lists";
Dir::Cache "$dir/cache";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
APT::Sandbox::User "root";
CONF
    # Only reached when something must be fetched: refresh the index every time, since a cached
    # one may name a package revision the archive has since replaced.
    APT_CONFIG="$dir/apt.conf" apt-get update -q >/dev/null
    echo "$dir/apt.conf"
}

fetch_imgui() {
    local dest="$CACHE/imgui-$IMGUI_VERSION"
    [ -f "$dest/imgui.cpp" ] && [ -f "$dest/backends/imgui_impl_dx11.cpp" ] && return 0
    log "fetching Dear ImGui $IMGUI_VERSION"
    local conf work
    conf=$(private_apt)
    work=$(mktemp -d)
    (cd "$work" && APT_CONFIG="$conf" apt-get source -q --download-only "imgui/trixie" >/dev/null)
    local tarball="$work/$IMGUI_TARBALL"
    [ -f "$tarball" ] || { log "no $IMGUI_TARBALL in Debian's archive"; exit 1; }
    echo "$IMGUI_SHA256  $tarball" | sha256sum -c --quiet -
    rm -rf "$dest" && mkdir -p "$dest"
    tar -xJf "$tarball" -C "$dest" --strip-components=1
    rm -rf "$work"
}

fetch_minizip() {
    local dest="$CACHE/minizip-$ZLIB_UPSTREAM"
    [ -f "$dest/unzip.c" ] && return 0
    log "fetching minizip (zlib $ZLIB_UPSTREAM sources)"
    local conf work
    conf=$(private_apt)
    work=$(mktemp -d)
    (cd "$work" && APT_CONFIG="$conf" apt-get source -q --download-only "zlib/bookworm" >/dev/null)
    local tarball
    tarball=$(ls "$work"/zlib_"$ZLIB_UPSTREAM"*.orig.tar.* 2>/dev/null | head -n 1 || true)
    [ -n "$tarball" ] || { log "zlib $ZLIB_UPSTREAM is no longer in Debian's archive"; exit 1; }
    # Debian's .dsc lists the checksum of every file it ships; apt-get source verified it already.
    mkdir -p "$work/x"
    tar -xf "$tarball" -C "$work/x" --strip-components=1
    rm -rf "$dest" && mkdir -p "$dest"
    cp "$work/x/contrib/minizip/"{unzip.c,unzip.h,ioapi.c,ioapi.h,iowin32.c,iowin32.h,crypt.h} "$dest/"
    rm -rf "$work"
}

install_packages
mkdir -p "$CACHE"
fetch_imgui
fetch_minizip
log "ready (dependencies in $CACHE)"
