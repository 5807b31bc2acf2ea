# Shell helpers for the sandbox machines, sourced by e2e/run-e2e and
# scripts/demo. Everything lives in BUILD_FOLDER/e2e; nothing is written
# outside the build folder (Wine's own files included).
#
#   sandbox_init BUILD_FOLDER      sets sandbox_work and a private HOME
#   sandbox_make PREFIX MACHINE    a fresh prefix planted as clean|infected;
#                                  its wineserver keeps running (WINEPREFIX is set)
#   sandbox_end                    ends the prefix's processes

sandbox_here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

sandbox_init() {
  sandbox_build=$(cd "$1" && pwd) || return 2
  sandbox_work="$sandbox_build/e2e"
  mkdir -p "$sandbox_work/home"
  # Wine writes menus, caches and settings under HOME; keep them in the build
  # folder. A real display's X authority stays where it was.
  if [ -z "${XAUTHORITY:-}" ] && [ -f "${HOME:-/nonexistent}/.Xauthority" ]; then
    export XAUTHORITY="$HOME/.Xauthority"
  fi
  export HOME="$sandbox_work/home"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
  local file
  for file in Grevlin.exe e2e/driver.exe e2e/plant.exe e2e/sleeper.exe e2e/hsservice.exe; do
    if [ ! -f "$sandbox_build/$file" ]; then
      echo "sandbox: $sandbox_build/$file is missing; build the Windows targets first" >&2
      return 2
    fi
  done
}

# One booted prefix, copied for each sandbox: booting takes a while. It is a
# 32-bit Windows, the hijacker's own kind of machine: on a 64-bit one the
# 32-bit program cannot read the module names of 64-bit processes such as
# explorer.exe, so it could not terminate them.
sandbox_template() {
  local template="$sandbox_work/template-prefix"
  if [ ! -f "$template/.grevlin-ready" ]; then
    echo "sandbox: booting a template Wine prefix (32-bit Windows)"
    rm -rf "$template" "$template.lock"
    WINEARCH=win32 WINEPREFIX="$template" "$sandbox_here/scripts/wine-run" cmd /c exit 0 >/dev/null 2>&1
    # Without a window manager, Wine draws the window frames itself.
    WINEPREFIX="$template" "$sandbox_here/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' \
      /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    WINEPREFIX="$template" wineserver -w
    if [ ! -f "$template/.grevlin-ready" ]; then
      echo "sandbox: could not boot the template prefix" >&2
      return 1
    fi
  fi
  sandbox_template_prefix=$template
}

sandbox_make() {
  local prefix machine=$2
  mkdir -p "$(dirname "$1")" || return 1
  prefix="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"  # Wine wants it absolute
  sandbox_template || return 1
  rm -rf "$prefix" "$prefix.lock"
  cp -a "$sandbox_template_prefix" "$prefix"
  mkdir -p "$prefix/drive_c/Grevlin" "$prefix/drive_c/sandbox"
  cp "$sandbox_build/Grevlin.exe" "$prefix/drive_c/Grevlin/"
  cp "$sandbox_build"/e2e/{driver,plant,sleeper,hsservice}.exe "$prefix/drive_c/sandbox/"
  export WINEPREFIX="$prefix"
  "$sandbox_here/scripts/wine-run" 'C:\sandbox\plant.exe' "$machine" </dev/null
}

sandbox_end() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}
