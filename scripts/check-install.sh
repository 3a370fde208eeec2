#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the two Debian packages on this machine as a user would, runs the installed
# programs, checks the installed files, then removes and purges both and checks that
# nothing of theirs is left. Leaves the machine as it found it; needs root (skips without).
#   scripts/check-install.sh CLI_DEB GUI_DEB DISC
set -euo pipefail
cli_deb=$(realpath "$1")
gui_deb=$(realpath "$2")
disc=$(realpath "$3")
packages=(rizuvira rizuvira-cli)

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing the packages needs root"
  exit 0
fi

installed() { [[ $(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null) == ?[^n]* ]]; }
purge_all() {
  for package in "${packages[@]}"; do
    if installed "$package"; then dpkg --purge "$package" >/dev/null; fi
  done
}
fail() {
  echo "$*" >&2
  exit 1
}

# What an earlier run that stopped half-way left installed goes first.
purge_all
work=$(mktemp -d)
trap 'purge_all; rm -rf "$work"' EXIT
# The programs' settings and saved profiles go to a home of their own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/run"
unset RIZUVIRA_CATALOGUE
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cd "$work"
apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "apt-get install $* failed"; }
}

# A node without a display: the command line's package alone.
apt_install "$cli_deb"
installed rizuvira-cli || fail "rizuvira-cli is not installed"
! installed rizuvira || fail "installing rizuvira-cli installed rizuvira too"
# No Qt, SDL or PulseAudio at all. Debian's FFmpeg libraries themselves need libX11 and
# libxcb (VA-API, VDPAU) and libavfilter libasound: those, and only those, may come with them.
libraries() { ldd "$@" | awk '/=>/ { print $1 }' | sort -u; }
libraries /usr/bin/rizuvira-cli >"$work/cli.libs"
if grep -E -i 'qt6|libqt|libsdl|libpulse' "$work/cli.libs"; then
  fail "the installed rizuvira-cli loads Qt, SDL or PulseAudio"
fi
ffmpeg_libs=$(ldd /usr/bin/rizuvira-cli | awk '$1 ~ /^lib(av|sw|postproc)/ { print $3 }')
# shellcheck disable=SC2086
libraries $ffmpeg_libs >"$work/ffmpeg.libs"
if grep -E -i 'libx11|libxcb|libasound' "$work/cli.libs" | grep -v -x -F -f "$work/ffmpeg.libs"; then
  fail "the installed rizuvira-cli loads a display or sound library FFmpeg does not bring"
fi
echo "the installed rizuvira-cli loads no Qt, SDL or PulseAudio, and of X11 and ALSA only" \
  "what FFmpeg needs: $(grep -c -E -i 'libx11|libxcb|libasound' "$work/cli.libs") libraries"
/usr/bin/rizuvira-cli --version
[ -n "$(/usr/bin/rizuvira-cli profiles)" ] || fail "the installed rizuvira-cli lists no profile"
/usr/bin/rizuvira-cli convert "$disc" -t 3 -o "$work/out" -q
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work"/out/Title_03.*)
echo "the installed rizuvira-cli converts: $duration s"

apt_install "$gui_deb"
installed rizuvira || fail "rizuvira is not installed"
QT_QPA_PLATFORM=offscreen /usr/bin/rizuvira --version
rows=$(QT_QPA_PLATFORM=offscreen /usr/bin/rizuvira --quit-after-load "$disc")
grep -q '^Title_03' <<<"$rows" || fail "the installed rizuvira lists no Title_03: $rows"
echo "the installed rizuvira opens the disc: $(wc -l <<<"$rows") titles"

# The installed files: a container image may keep dpkg from laying out manual pages.
manuals_excluded=false
if grep -qs '^path-exclude=*/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
  manuals_excluded=true
fi
for package in "${packages[@]}"; do
  [ -s "/usr/share/doc/$package/copyright" ] || fail "no /usr/share/doc/$package/copyright"
  page=/usr/share/man/man1/$package.1.gz
  dpkg-query -L "$package" >"$work/$package.files"
  grep -q -x "$page" "$work/$package.files" || fail "the package $package lacks $page"
  if [ -e "$page" ]; then
    if command -v man >/dev/null && man -l "$page" 2>&1 >/dev/null | grep .; then
      fail "man warns on $page"
    fi
    [[ $(zcat "$page") == *$'\n'.SH\ SYNOPSIS* ]] || fail "$page has no SYNOPSIS"
  elif $manuals_excluded; then
    echo "skipped: $page (dpkg is told to leave manual pages out)"
  else
    fail "$page was not installed"
  fi
done
desktop-file-validate /usr/share/applications/org.example.Rizuvira.desktop
appstreamcli validate --no-net --pedantic /usr/share/metainfo/org.example.Rizuvira.metainfo.xml
[ -e /usr/share/icons/hicolor/scalable/apps/org.example.Rizuvira.svg ] || fail "no installed icon"

# Removing the desktop program keeps the command line working; removing both, then
# purging, leaves nothing of either.
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq rizuvira >/dev/null
installed rizuvira-cli || fail "removing rizuvira removed rizuvira-cli"
/usr/bin/rizuvira-cli info "$disc" >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq rizuvira-cli >/dev/null
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
  case "$status" in
    rc*) dpkg --purge "$package" >/dev/null ;; # only configuration files were left
    un* | "") ;;
    *) fail "$package is still installed after apt-get remove: $status" ;;
  esac
  ! installed "$package" || fail "$package is still known to dpkg after purging"
  while read -r file; do
    [ -d "$file" ] && continue # folders shared with other packages stay
    [ ! -e "$file" ] || fail "removing $package left $file"
  done <"$work/$package.files"
done
for left in /usr/share/rizuvira /usr/share/doc/rizuvira /usr/share/doc/rizuvira-cli; do
  [ ! -e "$left" ] || fail "removing the packages left $left"
done
echo "both packages install, run and remove cleanly"
