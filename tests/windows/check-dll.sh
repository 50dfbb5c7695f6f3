#!/usr/bin/env bash
# Quarlin.dll exports exactly the ten Quarlin_* functions by their plain
# names and imports from KERNEL32.dll and the C runtime only.
# Usage: check-dll.sh OBJDUMP DLL
set -euo pipefail
table=$("$1" -p "$2")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$table" | sort -u | tr '\n' ' ')
expected="Quarlin_CloseFile Quarlin_FreeSeekData Quarlin_GetFileInfo Quarlin_GetFrame Quarlin_GetFrameDependancies \
Quarlin_GetFrameSizes Quarlin_GetSeekData Quarlin_GetStartFrameOffset Quarlin_IndexFile Quarlin_OpenFile "
status=0
[ "$exports" = "$expected" ] || { echo "exports: $exports"; status=1; }
for dll in $imports; do
  case $dll in
    KERNEL32.dll | msvcrt.dll | api-ms-win-crt-*.dll) ;;
    *) echo "imports $dll"; status=1 ;;
  esac
done
echo "$(basename "$2"): exports $exports; imports $imports"
exit $status
