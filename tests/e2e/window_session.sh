# Sourced by the window tests: gives the window the application font a KDE
# desktop would, at POINTS points, through a private kdeglobals.
# Usage: desktop_font POINTS CONFIG_DIRECTORY
desktop_font() {
  mkdir -p "$2"
  printf '[General]\nfont=DejaVu Sans,%s,-1,5,50,0,0,0,0,0\n' "$1" > "$2/kdeglobals"
  export XDG_CONFIG_HOME=$2 XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5 KDE_FULL_SESSION=true
}
