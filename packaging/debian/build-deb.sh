#!/usr/bin/env bash
# Builds the Debian package from a native build tree:
#   packaging/debian/build-deb.sh BUILD_DIR OUTPUT_DIR
# The package root is what `cmake --install` of that tree writes under /usr
# (programs stripped), plus the Debian changelog made from CHANGELOG.md. The
# run-time dependencies are computed by dpkg-shlibdeps from every ELF file in
# the package, so that a program or library added with an install() rule is
# covered too. Writes OUTPUT_DIR/podiant-server_VERSION_ARCH.deb.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR OUTPUT_DIR" >&2
  exit 2
fi
build_dir="$(cd "$1" && pwd)"
output_dir="$2"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")"
arch="$(dpkg --print-architecture)"
package=podiant-server
maintainer="The Podiant Server developers <maintainers@podiant.example>"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
DESTDIR="$root" cmake --install "$build_dir" --prefix /usr --strip >/dev/null
doc_dir="$root/usr/share/doc/$package"

# The Debian changelog (a native package: changelog.gz) from CHANGELOG.md:
# each "## VERSION - YYYY-MM-DD" section becomes an entry, "### Title" a
# "[ Title ]" line, "- " items "* " items.
awk -v package="$package" -v maintainer="$maintainer" '
  function close_entry() {
    if (version == "") return
    command = "LC_ALL=C date -u -R -d \"" date " 12:00\""
    command | getline stamp
    close(command)
    printf "\n -- %s  %s\n", maintainer, stamp
  }
  /^## / {
    close_entry()
    if (version != "") print ""
    version = $2; date = $4
    printf "%s (%s) stable; urgency=medium\n\n", package, version
    blank = 0; printed = 0
    next
  }
  version == "" { next }
  $0 == "" { blank = 1; next }
  {
    if ($0 ~ /^### /) line = "  [ " substr($0, 5) " ]"
    else if ($0 ~ /^- /) line = "  * " substr($0, 3)
    else line = "  " $0
    if (blank && printed) print ""
    blank = 0; printed = 1
    print line
  }
  END { close_entry() }
' "$source_dir/CHANGELOG.md" >"$work/changelog"
gzip -9n <"$work/changelog" >"$doc_dir/changelog.gz"
# Manual pages compressed, as Debian has them.
if [ -d "$root/usr/share/man" ]; then
  find "$root/usr/share/man" -type f ! -name '*.gz' -exec gzip -9n {} +
fi

# Ordinary permissions, and one time stamp (the last commit's) for a
# reproducible package.
find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod u=rwX,go=rX {} +
epoch="${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || date +%s)}"

# Every ELF file: what it links decides the dependencies. Libraries that the
# package itself holds are looked up inside it.
elf_files=()
library_dirs=()
while IFS= read -r -d '' file; do
  if [ "$(head -c 4 "$file" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then
    elf_files+=("$file")
    case "$file" in
      *.so | *.so.*) library_dirs+=("-l$(dirname "$file")") ;;
    esac
  fi
done < <(find "$root" -type f -print0 | sort -z)
if [ ${#elf_files[@]} -eq 0 ]; then
  echo "$0: no program in the package" >&2
  exit 1
fi
mkdir -p "$work/shlibs/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" \
  >"$work/shlibs/debian/control"
depends="$(cd "$work/shlibs" && dpkg-shlibdeps -O "${library_dirs[@]}" "${elf_files[@]}" 2>"$work/shlibdeps.log" |
  sed -n 's/^shlibs:Depends=//p')" || {
  cat "$work/shlibdeps.log" >&2
  exit 1
}
if [ -z "$depends" ]; then
  echo "$0: dpkg-shlibdeps found no dependencies" >&2
  cat "$work/shlibdeps.log" >&2
  exit 1
fi

mkdir -p "$root/DEBIAN"
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
installed_size="$(du -sk --exclude=DEBIAN "$root" | cut -f1)"
cat >"$root/DEBIAN/control" <<CONTROL
Package: $package
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $installed_size
Depends: $depends
Recommends: libreoffice-impress
Section: net
Priority: optional
Homepage: https://www.podiant.example/
Description: remote control for presentations over UDP
 Podiant Server turns a presentation computer into a remote-controlled one.
 A room-control system, a stream deck or a show-control rig sends it
 one-line text commands as UDP datagrams (port 16001 by default). With
 them it drives the slide show, types key scripts into a window that it
 finds by its title, closes or activates windows, starts programs and
 writes configured strings to a video projector on a serial line.
 .
 The package holds the server, podiant-send (which sends one command) and a
 systemd user unit that runs the server in the user's graphical session.
CONTROL
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
find "$root" -exec touch -h -d "@$epoch" {} +

mkdir -p "$output_dir"
output="$output_dir/${package}_${version}_${arch}.deb"
SOURCE_DATE_EPOCH="$epoch" dpkg-deb --root-owner-group -Zxz --build "$root" "$output" >/dev/null
echo "$output"
