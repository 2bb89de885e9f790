#!/usr/bin/env bash
# dll_file_test.sh OBJDUMP MACHINE DEF_FILE DLL [PROGRAM.exe ...]
# Checks the Windows build's files as they lie on disk, without running
# them (so also where this machine cannot run the build's programs): each
# file is a PE image for MACHINE (objdump's format name, e.g. pei-i386);
# the DLL exports exactly the entry points of DEF_FILE under their plain
# names; and no file imports a DLL that a stock Windows lacks (the MinGW
# runtime DLLs above all: the build links them in statically).
set -euo pipefail
objdump="$1"
machine="$2"
def="$3"
shift 3
dll="$1"

# The DLLs of Windows itself (every version the plug-in supports) that the
# build may import.
stock=(kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ws2_32.dll winhttp.dll
       crypt32.dll comctl32.dll comdlg32.dll msvcrt.dll ole32.dll shlwapi.dll secur32.dll
       bcrypt.dll ntdll.dll version.dll)

status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

for file in "$@"; do
  if [ ! -f "$file" ]; then
    fail "$file: missing"
    continue
  fi
  headers="$("$objdump" -p "$file")"
  format="$(sed -n 's/.*file format \(.*\)$/\1/p' <<<"$headers" | head -1)"
  [ "$format" = "$machine" ] || fail "$file: file format '$format', expected '$machine'"
  imports="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")"
  [ -n "$imports" ] || fail "$file: no imports found"
  while read -r name; do
    [ -n "$name" ] || continue
    lower="$(tr 'A-Z' 'a-z' <<<"$name")"
    case " ${stock[*]} " in
      *" $lower "*) ;;
      *) fail "$file imports $name, which is not a DLL of Windows itself" ;;
    esac
  done <<<"$imports"
  echo "$file: $format; imports: $(tr '\n' ' ' <<<"$imports")"
done

# The export table: the names after "[Ordinal/Name Pointer] Table".
exported="$("$objdump" -p "$dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\)$/\1/p' | sort)"
expected="$(sed -n '/^EXPORTS/,$p' "$def" | sed -n 's/^[[:space:]]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\)[[:space:]]*$/\1/p' | sort)"
if [ "$exported" != "$expected" ]; then
  fail "$dll: the export table differs from $def"
  diff <(echo "$expected") <(echo "$exported") >&2 || true
fi
echo "$dll: exports $(wc -l <<<"$exported") names"
exit $status
