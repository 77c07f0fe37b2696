#!/usr/bin/env bash
# Checks a built Windows binary's tables:
#   check_dll.sh OBJDUMP FILE exports NAME...   the export table is exactly these names
#   check_dll.sh OBJDUMP FILE imports           every imported DLL is one of Windows' own
set -euo pipefail
objdump=$1 file=$2 what=$3
shift 3
table=$("$objdump" -p "$file")

case $what in
exports)
  # Rows of "[Ordinal/Name Pointer] Table" look like "	[   0] Open".
  actual=$(printf '%s\n' "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
           sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p' | sort)
  expected=$(printf '%s\n' "$@" | sort)
  if [ "$actual" != "$expected" ]; then
    echo "exports of $file differ"
    diff <(echo "$expected") <(echo "$actual") || true
    exit 1
  fi
  echo "exports: $(echo $actual)"
  ;;
imports)
  system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|oleaut32|uxtheme|msvcrt|ws2_32|version|shlwapi|winmm|ntdll)\.dll$'
  dlls=$(printf '%s\n' "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  [ -n "$dlls" ] || { echo "no imports found in $file"; exit 1; }
  bad=$(printf '%s\n' "$dlls" | grep -Ev "$system_dlls" || true)
  if [ -n "$bad" ]; then
    echo "$file imports DLLs that Windows does not have: $bad"
    exit 1
  fi
  echo "imports: $(echo $dlls)"
  ;;
*)
  echo "unknown check: $what" >&2
  exit 2
  ;;
esac
