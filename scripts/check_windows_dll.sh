#!/usr/bin/env bash
# Checks the Windows riser.vst3 library: it exports the VST3 module's entry
# points and imports only DLLs that every Windows system has (no MinGW
# runtime such as libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll).
#   check_windows_dll.sh DLL
set -euo pipefail
dll=$1
objdump=x86_64-w64-mingw32-objdump
dump=$("$objdump" -p "$dll")

system_dlls=(advapi32 comctl32 comdlg32 d2d1 dwmapi dwrite gdi32 glu32 imm32 kernel32 msvcrt ole32
             oleaut32 opengl32 shell32 shlwapi user32 uxtheme version windowscodecs winmm ws2_32)
is_system_dll() {
  local d
  for d in "${system_dlls[@]}"; do [ "$1" = "$d.dll" ] && return 0; done
  [[ $1 == api-ms-win-* ]]
}

status=0
imports=$(sed -n 's/^\s*DLL Name: //p' <<< "$dump" | tr 'A-Z' 'a-z' | sort -u)
for name in $imports; do
  is_system_dll "$name" || { echo "$dll imports $name, which is not a system DLL"; status=1; }
done
[ -n "$imports" ] || { echo "$dll: no import table found"; status=1; }

# The export table lists the names after a "[Ordinal/Name Pointer] Table" header.
exports=$(sed -n '/Ordinal\/Name Pointer\] Table/,/^$/p' <<< "$dump")
for entry in GetPluginFactory InitDll ExitDll; do
  grep -qw "$entry" <<< "$exports" || { echo "$dll does not export $entry"; status=1; }
done
[ $status -eq 0 ] && echo "riser.vst3 (Windows): exports GetPluginFactory, InitDll, ExitDll; imports only" $imports
exit $status
