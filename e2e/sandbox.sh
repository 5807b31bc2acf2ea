# Shell helpers for the sandbox machines, sourced by e2e/run-e2e and
# scripts/demo. Everything lives in BUILD_FOLDER/e2e; nothing is written
# outside the build folder (Wine's own files included).
#
#   sandbox_init BUILD_FOLDER      sets sandbox_work, sandbox_kind (32 or 64, the
#                                  build's Grevlin.exe) and a private HOME
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
  sandbox_kind=$("$sandbox_here/scripts/pe-kind" "$sandbox_build/Grevlin.exe")
  if [ "$sandbox_kind" = 32 ] && ! why=$("$sandbox_here/scripts/runs-32bit"); then
    echo "sandbox: $sandbox_build/Grevlin.exe is a 32-bit program and this machine cannot run 32-bit programs: $why" >&2
    return 2
  fi
}

# One booted prefix, copied for each sandbox: booting takes a while. It is
# of the program's own kind: a 32-bit Windows, the hijacker's own kind of
# machine, for the 32-bit program; a 64-bit Windows for the 64-bit one, whose
# system folder (system32), registry and processes it sees as they are.
sandbox_template() {
  local arch=win$sandbox_kind
  local template="$sandbox_work/template-prefix-$arch"
  if [ ! -f "$template/.grevlin-ready" ]; then
    echo "sandbox: booting a template Wine prefix ($sandbox_kind-bit Windows)"
    rm -rf "$template" "$template.lock"
    WINEARCH=$arch WINEPREFIX="$template" "$sandbox_here/scripts/wine-run" cmd /c exit 0 >/dev/null 2>&1
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
