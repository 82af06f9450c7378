#!/usr/bin/env bash
# Builds the Windows installer from a staged program folder (what
# `cmake --install` of the Windows build writes):
#   packaging/windows/build-msi.sh STAGE_DIR VERSION OUTPUT.msi
# with wixl, then mends the database where wixl leaves things out. Fails when
# wixl reports any CRITICAL or WARNING: wixl drops what it does not know (an
# attribute, a custom action's row) with such a message and still exits 0.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
if [ $# -ne 3 ]; then
  echo "usage: $0 STAGE_DIR VERSION OUTPUT.msi" >&2
  exit 2
fi
stage="$(cd "$1" && pwd)"
version="$2"
output="$3"
if ! [[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "$0: the version must be major.minor.patch, not \"$version\"" >&2
  exit 2
fi

# The file version in a program's version resource (VS_FIXEDFILEINFO, after
# its signature FEEF04BD), as a.b.c.d; fails when there is none.
file_version() {
  local hex head ms ls
  hex="$(wrestool -x --raw --type=16 "$1" | od -An -v -tx1 | tr -d ' \n')"
  head="${hex%%bd04effe*}"
  if [ "$head" = "$hex" ]; then
    echo "$0: $1 has no version resource" >&2
    return 1
  fi
  # Skip the signature and the structure version: FileVersionMS, then LS,
  # each a little-endian 32-bit number of two 16-bit halves.
  ms="${hex:$((${#head} + 16)):8}"
  ls="${hex:$((${#head} + 24)):8}"
  echo "$((16#${ms:6:2}${ms:4:2})).$((16#${ms:2:2}${ms:0:2})).$((16#${ls:6:2}${ls:4:2})).$((16#${ls:2:2}${ls:0:2}))"
}

# The product code of a version: the same for every build of that version
# (derived from the version, in the form of a name-based UUID), so that a
# rebuilt installer of one version is that product again, not a second one.
product_code() {
  local hash
  hash="$(printf 'podiant-server %s' "$1" | sha1sum)"
  hash="${hash:0:32}"
  # Version 5 and the RFC 4122 variant.
  hash="${hash:0:12}5${hash:13:3}$(printf '%x' $(((16#${hash:16:1} & 3) | 8)))${hash:17:15}"
  echo "${hash:0:8}-${hash:8:4}-${hash:12:4}-${hash:16:4}-${hash:20:12}" | tr a-f A-F
}

server_version="$(file_version "$stage/podiant-server.exe")"
send_version="$(file_version "$stage/podiant-send.exe")"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# wixl takes source paths relative to its working directory only.
ln -s "$stage" "$work/stage"
cp "$source_dir/packaging/icon/podiant-server.ico" "$work/podiant-server.ico"
# The pages and pictures of docs\, whatever they are: one component in a
# fragment of its own.
{
  echo '<?xml version="1.0" encoding="utf-8"?>'
  echo '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi"><Fragment>'
  echo '<DirectoryRef Id="INSTALLFOLDER"><Directory Id="DOCSFOLDER" Name="docs">'
  echo '<Component Id="DocPages" Guid="B8C7C7E7-B990-4430-BD30-D7A0CB8DA874" Win64="yes">'
  number=0
  while IFS= read -r name; do
    number=$((number + 1))
    keypath=""
    [ $number -eq 1 ] && keypath=' KeyPath="yes"'
    echo "<File Id=\"DocPage$number\" Name=\"$name\" Source=\"stage/docs/$name\"$keypath/>"
  done < <(cd "$stage/docs" && find . -maxdepth 1 -type f -printf '%f\n' | LC_ALL=C sort)
  echo '</Component></Directory></DirectoryRef></Fragment></Wix>'
} >"$work/docs.wxs"

status=0
(cd "$work" && wixl -a x64 -D Version="$version" -D ProductCode="$(product_code "$version")" \
  -D StageDir=stage -D IconFile=podiant-server.ico -o podiant-server.msi \
  "$here/podiant-server.wxs" docs.wxs) 2>"$work/wixl.log" || status=$?
if [ $status -ne 0 ] || grep -qE 'CRITICAL|WARNING' "$work/wixl.log"; then
  cat "$work/wixl.log" >&2
  echo "$0: wixl failed or warned (exit code $status)" >&2
  exit 1
fi

# What wixl cannot express:
# - the settings file's component: 64-bit (256), never overwritten (128) and
#   permanent (16), so that an upgrade and an uninstall keep edited settings;
# - the programs' file versions (wixl leaves them empty);
# - SETTINGSFOLDER as a secure property, so that a value from the command
#   line reaches the installation with elevated rights.
msibuild "$work/podiant-server.msi" \
  -q "UPDATE Component SET Attributes = 400 WHERE Component = 'SettingsFile'" \
  -q "UPDATE File SET Version = '$server_version', Language = '1033' WHERE File = 'ServerExe'" \
  -q "UPDATE File SET Version = '$send_version', Language = '1033' WHERE File = 'SendExe'" \
  -q "UPDATE Property SET Value = 'SETTINGSFOLDER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"

# The mends must have taken.
export_table() { msiinfo export "$work/podiant-server.msi" "$1" | tr -d '\r'; }
check() {
  if ! export_table "$1" | grep -qxF "$2"; then
    echo "$0: the $1 table lacks the row: $2" >&2
    exit 1
  fi
}
tab=$'\t'
check Component "SettingsFile${tab}{C031D5B9-38C8-490C-A5FD-4146C0C7AA89}${tab}SETTINGSFOLDER${tab}400${tab}${tab}PodiantIni"
check Property "SecureCustomProperties${tab}SETTINGSFOLDER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED"
check Property "ProductVersion${tab}$version"
export_table File | grep -q "^ServerExe${tab}.*${tab}$server_version${tab}1033${tab}" || {
  echo "$0: the File table lacks the server's version" >&2
  exit 1
}

# Every staged file is in the installer: a file that an install() rule adds
# to the folder needs its File element in the .wxs.
installed="$(export_table File | cut -f3 | sed 's/^.*|//' | LC_ALL=C sort)"
while IFS= read -r name; do
  if ! grep -qxF "$name" <<<"$installed"; then
    echo "$0: $name is staged but not in the installer (packaging/windows/podiant-server.wxs)" >&2
    exit 1
  fi
done < <(cd "$stage" && find . -type f -printf '%f\n')

mkdir -p "$(dirname "$output")"
mv "$work/podiant-server.msi" "$output"
