#!/usr/bin/env bash
# Lists every function a DLL imports and fails on any that the oldest Windows it is built for
# lacks. How it knows what that Windows has:
#  - system API functions (kernel32, user32, advapi32, ole32, odbc32 ...): MinGW-w64's headers
#    declare each only from the Windows version Microsoft documents as its minimum, so every
#    import is compiled into a probe with _WIN32_WINNT set to the floor; an undeclared one is
#    missing (GetTickCount64 and RegDeleteTreeW are, below 0x0600).
#  - C runtime functions (msvcrt.dll), which the headers do not gate by version: they must be
#    named in scripts/floor/msvcrt.txt, or for the x64 DLL also msvcrt-x64.txt (see their headers).
#
# usage: scripts/check-imports.sh DLL WINNT      (WINNT: 0x0501 for XP SP3, 0x0601 for Windows 7)
set -euo pipefail

dll="$1"
winnt="$2"
here="$(cd "$(dirname "$0")" && pwd)"
[ -e "$dll" ] || { echo "check-imports: $dll is missing" >&2; exit 2; }
crt_lists=("$here/floor/msvcrt.txt")
case "$(x86_64-w64-mingw32-objdump -f "$dll")" in
  *pei-i386*) cc=i686-w64-mingw32-gcc ;;
  *) cc=x86_64-w64-mingw32-gcc crt_lists+=("$here/floor/msvcrt-x64.txt") ;;
esac

# "KERNEL32.DLL GetTickCount" per import; an import by ordinal as "OLEAUT32.DLL #2".
imports="$(x86_64-w64-mingw32-objdump -p "$dll" | awk '
    /^\tDLL Name: / { dll = toupper($3); next }
    /^\tvma: / || /^$/ { next }
    dll != "" && /^\t[0-9a-f]+\t/ { if (NF >= 3) print dll, $NF; else print dll, "#" $2 }
    /^ [0-9a-f]+\t/ { dll = "" }' | sort -u)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
{
  printf '#include <%s>\n' windows.h commctrl.h objbase.h oleauto.h sql.h sqlext.h
  echo 'void* imports[] = {'
  awk '$1 != "MSVCRT.DLL" && $2 !~ /^#/ {print "(void*)&" $2 ","}' <<<"$imports"
  echo '0};'
} >"$work/probe.c"
LC_ALL=C "$cc" -D_WIN32_WINNT="$winnt" -DWINVER="$winnt" -DUNICODE -c "$work/probe.c" -o "$work/probe.o" \
  2>"$work/probe.err" || true
undeclared="$({ grep -o "error: '[A-Za-z0-9_]*' undeclared" "$work/probe.err" || true; } |
  cut -d"'" -f2 | sort -u)"
crt="$(cat "${crt_lists[@]}" | grep -v '^#' | awk 'NF {print $1}' | sort -u)"

missing=0
echo "$(basename "$dll") imports $(wc -l <<<"$imports") functions; floor _WIN32_WINNT=$winnt"
while read -r lib fn; do
  ok=yes
  if [ "$lib" = MSVCRT.DLL ]; then
    grep -qxF "$fn" <<<"$crt" || ok=no
  elif [[ "$fn" == \#* ]] || grep -qxF "$fn" <<<"$undeclared"; then
    ok=no
  fi
  if [ $ok = yes ]; then echo "  ok      $lib $fn"; else echo "  MISSING $lib $fn"; missing=$((missing + 1)); fi
done <<<"$imports"
# A probe that failed for another reason proves nothing.
if grep -v 'undeclared\|In function\|note:\|^ \|^\s*|' "$work/probe.err" | grep -q 'error'; then
  cat "$work/probe.err" >&2
  echo "check-imports: the probe did not compile" >&2
  exit 2
fi
if [ $missing -gt 0 ]; then
  echo "check-imports: $missing imported functions are missing on the floor" >&2
  exit 1
fi
echo "check-imports: every import is on the floor"
