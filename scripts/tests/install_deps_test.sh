#!/usr/bin/env bash
# scripts/install-deps against a package mirror that fails as a mirror in mid-sync does, with
# stand-ins for apt-get, dpkg and dpkg-query on PATH (no network, nothing installed for real).
set -uo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }
eval "$(sed -n '/^required=(/,/)$/p' "$src/install-deps")"

mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
s=$STANDIN_STATE
if [ "$1" = update ]; then
  echo update >>"$s/calls"
  n=$(cat "$s/update-failures"); [ "$n" -gt 0 ] || exit 0
  echo $((n - 1)) >"$s/update-failures"
  echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
  exit 100
fi
shift; pkgs=(); for a in "$@"; do case $a in -*) ;; *) pkgs+=("$a") ;; esac; done
echo "install ${pkgs[*]}" >>"$s/calls"
for p in "${pkgs[@]}"; do
  if grep -qx "$p" "$s/broken"; then
    echo "E: Unable to correct problems, you have held broken packages."; exit 100
  fi
done
printf '%s\n' "${pkgs[@]}" >>"$s/installed"
STANDIN
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/usr/bin/env bash
grep -qx "${!#}" "$STANDIN_STATE/installed" && printf 'install ok installed'
exit 0
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/usr/bin/env bash
case $1 in
  --print-foreign-architectures) cat "$STANDIN_STATE/arches" ;;
  --add-architecture) echo "add-architecture $2" >>"$STANDIN_STATE/calls"; echo "$2" >>"$STANDIN_STATE/arches" ;;
esac
STANDIN
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
printf '#!/bin/sh\nexit 42\n' >"$work/bin/runs-32bit"
printf '#!/bin/sh\nexit 126\n' >"$work/bin/no-32bit"
chmod +x "$work"/bin/*

# CASE  32-BIT  UPDATE-FAILURES  BROKEN  PRESENT(all|none)  STATUS  CALLS (";"-separated)  OUTPUT-LINE
req="install ${required[*]}"
cases=(
  "mirror-mid-sync|yes|9|wine32:i386|none|0|update;update;$req;add-architecture i386;update;update;install wine32:i386|Going on without it: the x86 test programs will be skipped"
  "no-32-bit-code|no|1||none|0|update;update;$req|install-deps: apt-get update failed; trying once more"
  "required-missing|no|0|wine64|none|1|update;$req;$(printf 'install %s;' "${required[@]}" | sed 's/;$//')|install-deps: cannot install wine64, which every build or test run needs:
  wine64: E: Unable to correct problems, you have held broken packages."
  "all-there|yes|9||all|0||"
)
for row in "${cases[@]}"; do
  IFS='|' read -r case runs32 ufail broken present want_rc want_calls want_line <<<"$row"
  st=$work/state-$case root=$work/root-$case
  mkdir -p "$st" "$root/scripts"
  cp "$src/install-deps" "$src/lib-wine.sh" "$root/scripts/"
  : >"$st/calls"; : >"$st/arches"; echo "$ufail" >"$st/update-failures"
  printf '%s\n' "$broken" >"$st/broken"
  if [ "$present" = all ]; then printf '%s\n' "${required[@]}" wine32:i386 >"$st/installed"
  else : >"$st/installed"; fi
  probe=$work/bin/no-32bit; [ "$runs32" = yes ] && probe=$work/bin/runs-32bit
  out=$(env -u PELLIX_RUNS_32BIT PATH="$work/bin:$PATH" STANDIN_STATE="$st" \
        PELLIX_32BIT_PROBE="$probe" bash "$root/scripts/install-deps" 2>&1); rc=$?
  [ "$rc" = "$want_rc" ] || fail "exit status $rc, expected $want_rc; output: $out"
  calls=$(paste -sd';' "$st/calls")
  [ "$calls" = "$want_calls" ] || fail "apt and dpkg calls were
    $calls
  expected
    $want_calls"
  if [ -n "$want_line" ]; then
    [[ $out == *"$want_line"* ]] || fail "no lines '$want_line' in: $out"
  else
    [ -z "$out" ] || fail "expected no output, got: $out"
  fi
  case $case in
    mirror-mid-sync)
      grep -qx 'cmake' "$st/installed" || fail "the required packages were not installed"
      note=$(cat "$root/build/i386-skipped" 2>/dev/null)
      [[ $note == "32-bit Wine (wine32:i386) could not be installed from the package mirror (Unable to correct problems, you have held broken packages.); run scripts/install-deps again later" ]] ||
        fail "the reason kept for the x86 tier is '$note'"
      # lib-wine.sh gives that reason when the 32-bit loader is missing.
      why=$(PELLIX_RUNS_32BIT=yes bash -c "source '$root/scripts/lib-wine.sh'; [ -x /usr/lib/wine/wine ] && echo '$note' && exit; pellix_flavour_runs win32; echo \"\$PELLIX_WHY\"")
      [ "$why" = "$note" ] || fail "the x86 tier's reason is '$why'" ;;
    no-32-bit-code|required-missing)
      [ ! -e "$root/build/i386-skipped" ] || fail "a reason was kept although nothing of i386 was asked for"
      ! grep -q i386 "$st/arches" || fail "the i386 architecture was added" ;;
  esac
done
echo "install-deps: $((${#cases[@]} - failures)) of ${#cases[@]} cases passed"
[ "$failures" -eq 0 ]
