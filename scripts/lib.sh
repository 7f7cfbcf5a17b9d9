# Shell functions shared by the demo and benchmark scripts; source it, do not run it.

# The simulated camera's filter DLL in the build tree BUILD (camsim.dll.so under Winelib,
# camsim.dll under MinGW).
camsim_dll() {
  local dll
  dll=$(find "$1/tools/camsim" -maxdepth 1 -name 'camsim*.dll*' | sort | head -n1)
  [ -n "$dll" ] || { echo "no camsim DLL in $1/tools/camsim" >&2; return 1; }
  echo "$dll"
}

# Runs a demo's scripted session: COMMAND... (the session program under wine explorer, on the
# prefix's virtual screen in DISPLAY) prints its progress, one line each, which goes to
# OUT/session.txt. For a line "shot NAME" the desktop's top-left SIZE (WxH) becomes
# OUT/NAME.png, and OUT/NAME.ready tells the session the screenshot is taken.
#   demo_session OUT SIZE COMMAND...
demo_session() {
  local out=$1 size=$2 line name
  shift 2
  "$@" | while IFS= read -r line; do
    line=${line%$'\r'}
    echo "$line" >>"$out/session.txt"
    case "$line" in
      shot\ *)
        name=${line#shot }
        sleep 0.5
        import -window root -crop "$size+0+0" +repage "$out/$name.png"
        touch "$out/$name.ready"
        ;;
    esac
  done
  rm -f "$out"/*.ready
}
