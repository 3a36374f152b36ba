#!/usr/bin/env bash
# Static checks of a cross-built plug-in module and its test host, with the mingw-w64
# binutils: the file format, the seven exports with their plain names and ordinals and
# nothing else, imports from system DLLs only (the runtimes are linked in), and the string
# table as a resource.
#   check_pe.sh <i686|x86_64> <module> <host.exe>
# Exit 0 passed, 1 failed, 77 skipped (no 64-bit cross build on this machine).
set -uo pipefail
arch=$1 module=$2 host=$3
triple=$arch-w64-mingw32
case $arch in
  i686) format=pei-i386 ;;
  x86_64) format=pei-x86-64 ;;
  *) echo "unknown architecture $arch"; exit 1 ;;
esac

if [ "$arch" = x86_64 ] && [ ! -e "$module" ] && ! command -v $triple-g++ >/dev/null; then
  echo "SKIPPED: no x86_64 cross build ($triple-g++ is not installed)"; exit 77
fi
for tool in $triple-objdump $triple-windres; do
  command -v $tool >/dev/null || { echo "FAIL: $tool not found"; exit 1; }
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for f in "$module" "$host"; do
  [ -f "$f" ] || { echo "FAIL: $f does not exist (run scripts/build-win32.sh)"; exit 1; }
  $triple-objdump -f "$f" | grep -q "file format $format" || fail "$f is not $format"
done

dump=$($triple-objdump -p "$module")

# Exports: "Ordinal Base B", then "[Ordinal/Name Pointer] Table" lines "[k] Name" where
# k + B is the ordinal.
exports=$(awk '
  /Export Address Table -- Ordinal Base/ { base = $NF }
  /^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
  on && /^[ \t]*\[/ { gsub(/[\[\]]/, " "); print $1 + base, $2; next }
  on { on = 0 }
' <<<"$dump" | sort -n)
expected=$'1 Quantize\n2 Combine\n3 Resize\n4 Filter\n5 FilterInfo\n6 SetParam\n7 PlugInfo'
if [ "$exports" != "$expected" ]; then
  fail "exports differ; found:"; echo "$exports"
fi
grep -q "Export Address Table -- Ordinal Base 1" <<<"$dump" || fail "ordinal base is not 1"

# 32-bit stdcall: each export is the function of that name with its argument bytes, and the
# callee removes them, so every return of the function must be "ret $N".
if [ "$arch" = i686 ]; then
  base=$(awk '/^ImageBase/ { print $2 }' <<<"$dump")
  disasm=$($triple-objdump -d "$module")
  for entry in 1:Quantize:8 2:Combine:8 3:Resize:8 4:Filter:8 5:FilterInfo:8 6:SetParam:12 7:PlugInfo:4; do
    IFS=: read -r ordinal name bytes <<<"$entry"
    rva=$(awk -v o="$ordinal" '/\+base\[/ { gsub(/[\[\]]/, " "); if ($3 == o) print $4 }' <<<"$dump")
    symbol=$(grep -m1 "<_$name@$bytes>:\$" <<<"$disasm" | awk '{ print $1 }')
    if [ -z "$rva" ] || [ -z "$symbol" ] || [ $((0x$base + 0x$rva)) -ne $((0x$symbol)) ]; then
      fail "ordinal $ordinal is not _$name@$bytes (rva '$rva', symbol '$symbol')"
      continue
    fi
    rets=$(awk -v s="<_$name@$bytes>:" -v c="<_$name@$bytes.cold>:" \
      '$2 == s || $2 == c { on = 1; next } on && /^$/ { on = 0 } on && /\tret/ { print $NF }' <<<"$disasm" | sort -u)
    [ "$rets" = "\$0x$(printf %x "$bytes")" ] || fail "$name returns with '$rets', expected ret \$0x$(printf %x "$bytes")"
  done
fi

# Imports: system DLLs only.
while read -r dll; do
  case ${dll,,} in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | msvcrt.dll) ;;
    *) fail "$module imports $dll" ;;
  esac
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
while read -r dll; do
  case ${dll,,} in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | msvcrt.dll) ;;
    *) fail "$host imports $dll" ;;
  esac
done < <($triple-objdump -p "$host" | sed -n 's/^\s*DLL Name: //p')

# The string table, read back from the module's resource section.
$triple-objdump -h "$module" | grep -q '\.rsrc' || fail "no resource section"
rc=$($triple-windres -i "$module" -J coff -O rc 2>&1) || fail "windres cannot read the resources: $rc"
grep -qx '  1, "KvDib'"'"'s Method(Normal)"' <<<"$rc" || fail "string 1 missing or wrong"
grep -qx '  2, "KvDib'"'"'s Method(Fine)"' <<<"$rc" || fail "string 2 missing or wrong"
grep -q '^  100, "Plug-in Filters for Vexa32v1\.04' <<<"$rc" || fail "string 100 missing or wrong"
[ "$(grep -c '^  [0-9]*, "' <<<"$rc")" = 3 ] || fail "the string table does not hold exactly 3 strings"

if [ $failures -ne 0 ]; then echo "$failures static check(s) failed for $module"; exit 1; fi
echo "passed: $module ($format): 7 exports by name and ordinal$([ "$arch" = i686 ] && echo ", stdcall returns"), system imports only, 3 strings"
