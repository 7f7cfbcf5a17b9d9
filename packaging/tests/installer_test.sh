#!/usr/bin/env bash
# The Windows packages as a user meets them, under Wine:
#   installer_test.sh PREFIX SCRIPTS PACKAGES PROGRAM_TESTS SCRATCH
# The zip holds exactly the two programs. The installer, run silently (/S), puts both
# programs and its uninstaller into Program Files and their shortcuts into the Start menu;
# the installed camfetch.exe lists the simulated camera's files (camfetch's program test,
# PROGRAM_TESTS); the uninstaller, run silently, leaves nothing of them behind. Every Wine
# process runs under scripts/wine-run's timeout in the tests' prefix.
set -euo pipefail
prefix=$1 scripts=$2 packages=$3 program_tests=$4 scratch=$5
# No Linux menu entries for the shortcuts: winemenubuilder stays off.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
failed=0
fail() { echo "FAILED: $*"; failed=1; }
run() { "$scripts/wine-run" "$prefix" "$@"; }
listing() { (cd "$1" 2>/dev/null && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort | tr '\n' '|'); }

installer=("$packages"/*-win64.exe)
zip=("$packages"/*-win64.zip)
[ -f "${installer[0]}" ] && [ -f "${zip[0]}" ] || { echo "no installer or zip in $packages"; exit 1; }

zipped=$(python3 -c 'import sys, zipfile; print("|".join(sorted(n.split("/", 1)[1] for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/"))))' "${zip[0]}")
[ "$zipped" = "camfetch.exe|camflash.exe" ] || fail "the zip holds '$zipped'"

dir="$prefix/drive_c/Program Files/camtools"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/camtools"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\camtools'
[ ! -e "$dir" ] && [ ! -e "$menu" ] || { echo "a camtools installation is already in $prefix"; exit 1; }

run 120 "${installer[0]}" /S || fail "the installer exited with $?"
[ "$(listing "$dir")" = "Uninstall.exe|camfetch.exe|camflash.exe|" ] || fail "installed: '$(listing "$dir")'"
[ "$(listing "$menu")" = "Firmware Updater.lnk|Image Download Utility.lnk|Uninstall.lnk|" ] ||
  fail "Start menu: '$(listing "$menu")'"
for link in "Image Download Utility:camfetch.exe" "Firmware Updater:camflash.exe" "Uninstall:Uninstall.exe"; do
  # The target path, among the link's ANSI and UTF-16 strings.
  text=$({ strings -a "$menu/${link%%:*}.lnk"; strings -a -el "$menu/${link%%:*}.lnk"; } 2>/dev/null || true)
  grep -Fqx "C:\\Program Files\\camtools\\${link#*:}" <<<"$text" || fail "${link%%:*}.lnk does not start ${link#*:}"
done
run 30 reg query "$uninstall_key" >/dev/null 2>&1 || fail "no uninstall entry"

# The installed program against the simulated camera, as its own program test drives it.
CAMFETCH_EXE='C:\Program Files\camtools\camfetch.exe' TEST_SCRATCH=$scratch \
  run 180 "$program_tests" ListsTheCameraFiles || fail "the installed camfetch.exe"

# A folder camfetch kept per user (as it does for a user the machine key refuses).
run 30 reg add 'HKCU\Software\ZQ71R' /v FlashImageSaveToDir /d 'C:\pictures' /f >/dev/null ||
  fail "cannot store a per-user folder"

# What the uninstall has not removed yet, a line each; nothing once it has ended.
leftovers() {
  [ ! -e "$dir" ] || echo "left in Program Files: '$(listing "$dir")'"
  [ ! -e "$menu" ] || echo "left in the Start menu: '$(listing "$menu")'"
  ! run 30 reg query "$uninstall_key" >/dev/null 2>&1 || echo "the uninstall entry is left"
  ! run 30 reg query 'HKLM\Software\camtools' >/dev/null 2>&1 || echo "the installer's key is left"
  ! run 30 reg query 'HKLM\Software\ZQ71R' /v FlashImageSaveToDir >/dev/null 2>&1 || echo "camfetch's settings are left"
  ! run 30 reg query 'HKCU\Software\ZQ71R' >/dev/null 2>&1 || echo "camfetch's per-user folder is left"
}

# The uninstaller copies itself away and returns at once. Its copy goes on removing: the
# program folder, then the Start menu folder, last the installer's key. So wait for the whole
# end state, not for one of its steps.
run 120 "$dir/Uninstall.exe" /S || fail "the uninstaller exited with $?"
deadline=$((SECONDS + 60))
until left=$(leftovers); [ -z "$left" ] || [ $SECONDS -ge $deadline ]; do
  sleep 0.5
done
[ -z "$left" ] || while IFS= read -r line; do fail "$line"; done <<<"$left"
[ $failed = 0 ] && echo "installed, used and uninstalled: nothing left"
exit $failed
