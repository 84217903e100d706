#!/usr/bin/env bash
# Installs the Windows release as a user would, in a fresh 64-bit Wine prefix
# (build/wine-installer-check), and checks it:
#  1. the installer with /S puts the bundle where Windows hosts look
#     (Common Files\VST3\riser.vst3) and registers the uninstaller under
#     Add/Remove Programs;
#  2. the SDK's validator passes on the installed bundle (when given);
#  3. installing again over it (an upgrade) works;
#  4. the uninstaller with /S removes the bundle, itself and the registry key,
#     and nothing else (another plug-in in the VST3 folder stays).
#   scripts/check_windows_installer.sh SETUP.EXE [VALIDATOR.EXE]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
setup=$(realpath "$1")
validator=${2:+$(realpath "$2")}
fail() { echo "installer check: $*" >&2; exit 1; }

export RISER_WINEPREFIX=$root/build/wine-installer-check
export WINEPREFIX=$RISER_WINEPREFIX WINEDEBUG=-all
rm -rf "$RISER_WINEPREFIX"
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver64 || command -v wineserver)
wine() { "$root/scripts/wine-run.sh" "$@"; }
# Waits for every program in the prefix: the uninstaller runs from a copy
# of itself in %TEMP% and the first process returns at once.
settle() { "$wineserver" -w; }

key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Riser'
drive=$RISER_WINEPREFIX/drive_c
vst3=$drive/Program\ Files/Common\ Files/VST3
bundle=$vst3/riser.vst3
dll=$bundle/Contents/x86_64-win/riser.vst3
uninstaller=$drive/Program\ Files/Riser/Uninstall\ Riser.exe

wine cmd /c exit > /dev/null 2>&1 || true
settle
# Another plug-in the uninstaller must leave alone.
mkdir -p "$vst3/Other.vst3" && echo keep > "$vst3/Other.vst3/keep.txt"

installed() {
  [ -f "$dll" ] || fail "$1: no bundle at $dll"
  [ -f "$uninstaller" ] || fail "$1: no uninstaller at $uninstaller"
  local q
  q=$(wine reg query "$key" 2>&1) || fail "$1: no uninstall key $key"
  for value in DisplayName DisplayVersion Publisher EstimatedSize UninstallString QuietUninstallString; do
    grep -q "$value" <<< "$q" || fail "$1: the uninstall key has no $value"
  done
  grep -q 'Corvid Signal LLC' <<< "$q" || fail "$1: the publisher is not Corvid Signal LLC"
  echo "installer check: $1: bundle, uninstaller and uninstall key in place"
}

wine "$setup" /S || fail "the installer failed (status $?)"
settle
installed "install"
if [ -n "$validator" ]; then
  wine "$validator" 'C:\Program Files\Common Files\VST3\riser.vst3' > "$root/build/wine-installer-check.validator.log" 2>&1 \
    || { tail -n 30 "$root/build/wine-installer-check.validator.log"; fail "the validator failed on the installed bundle"; }
  echo "installer check: the validator passes on the installed bundle"
fi

wine "$setup" /S || fail "installing over the installation failed (status $?)"
settle
installed "upgrade"

wine 'C:\Program Files\Riser\Uninstall Riser.exe' /S || fail "the uninstaller failed (status $?)"
settle
[ ! -e "$bundle" ] || fail "the uninstaller left $bundle"
[ ! -e "$drive/Program Files/Riser" ] || fail "the uninstaller left $drive/Program Files/Riser"
if wine reg query "$key" > /dev/null 2>&1; then fail "the uninstaller left the key $key"; fi
[ -f "$vst3/Other.vst3/keep.txt" ] || fail "the uninstaller removed another plug-in from the VST3 folder"
echo "installer check: the uninstaller removed the bundle, itself and the key, and nothing else"
