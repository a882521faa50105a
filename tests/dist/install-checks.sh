#!/usr/bin/env bash
# Checks of the installed tree, one CTest test per mode:
#   install BUILD ROOT          cmake --install BUILD into DESTDIR=ROOT, prefix /usr
#   files ROOT EDITOR VERSION   the exact file list (EDITOR is 1 when the editor is built)
#   docs ROOT SOURCE VERSION    the licence, the copyright file and the changelog; manuals and
#                               changelog compressed as Debian's tools expect
#   validators ROOT SOURCE      desktop-file-validate and appstreamcli validate --no-net; the
#                               screenshots the metainfo names lie in SOURCE/docs/screenshots
#   manuals ROOT                the manuals format cleanly and name every command and option
#   completion ROOT             the bash completion answers a table of command lines
#   launch ROOT                 the desktop entry passes awkward file names as one argument
#   defaults ROOT               installing leaves the default application of audio files as it was
# Exit status 77 means skipped, with the reason on stdout.
set -euo pipefail
mode=$1
shift
app=io.github.velmora.Velmora

skip() {
  echo "SKIPPED: $*"
  exit 77
}
fail() {
  echo "FAIL: $*" >&2
  status=1
}
status=0
# No check may read or write the user's own settings.
VELMORA_CONFIG_DIR=$(mktemp -d)
export VELMORA_CONFIG_DIR
trap 'rm -rf "$VELMORA_CONFIG_DIR"' EXIT

case $mode in
install)
  build=$1 root=$2
  rm -rf "$root"
  DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
  ;;

files)
  root=$1 editor=$2 version=$3
  expected=(
    usr/bin/velmora-cli
    usr/share/bash-completion/completions/velmora-cli
    usr/share/doc/velmora/changelog.gz
    usr/share/doc/velmora/copyright
    usr/share/man/man1/velmora-cli.1.gz
  )
  if [ "$editor" = 1 ]; then
    expected+=(
      usr/bin/velmora
      "usr/share/applications/$app.desktop"
      "usr/share/icons/hicolor/128x128/apps/$app.png"
      "usr/share/icons/hicolor/256x256/apps/$app.png"
      "usr/share/icons/hicolor/48x48/apps/$app.png"
      "usr/share/icons/hicolor/scalable/apps/$app.svg"
      usr/share/man/man1/velmora.1.gz
      "usr/share/metainfo/$app.metainfo.xml"
      usr/share/velmora/languages/French.Velmora.ini
      usr/share/velmora/languages/German.Velmora.ini
    )
  fi
  # Files, and folders that hold nothing (with a trailing "/").
  actual=$(cd "$root" && find . \( -type f -o -type d -empty \) -printf '%P%y\n' |
    sed -e 's/f$//' -e 's|d$|/|' | LC_ALL=C sort)
  want=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
  if [ "$actual" != "$want" ]; then
    fail "installed files differ from the expected list"
    diff <(echo "$want") <(echo "$actual") >&2 || true
  fi
  for f in usr/bin/velmora-cli usr/bin/velmora; do
    [ -e "$root/$f" ] || continue
    [ -x "$root/$f" ] || fail "$f is not executable"
  done
  got=$("$root/usr/bin/velmora-cli" --version)
  [ "$got" = "velmora-cli $version" ] || fail "velmora-cli --version printed \"$got\""
  if [ "$editor" = 1 ] && command -v file >/dev/null; then
    for size in 48 128 256; do
      file -b "$root/usr/share/icons/hicolor/${size}x$size/apps/$app.png" |
        grep -q "^PNG image data, $size x $size," || fail "the ${size}px icon is not $size x $size"
    done
  fi
  ;;

docs)
  root=$1 source=$2 version=$3
  doc=$root/usr/share/doc/velmora
  # gzip -9 (flag byte 2 in byte 8) and -n (no time stamp in bytes 4-7), as lintian asks.
  for f in "$doc/changelog.gz" "$root"/usr/share/man/man1/*.gz; do
    header=$(od -An -tx1 -N10 "$f" | tr -d ' \n')
    [[ $header == 1f8b08??00000000020? ]] || fail "$f is not compressed with gzip -9n ($header)"
    gzip -t "$f" || fail "$f is not whole"
  done
  if command -v dpkg-parsechangelog >/dev/null; then
    got=$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)
    [ "$got" = "$version" ] || fail "the changelog's latest entry is $got, the program $version"
  else
    echo "note: dpkg-parsechangelog is missing (dpkg-dev), so the changelog was not parsed"
  fi
  # The copyright file in the machine-readable format, naming the licence of LICENSE.
  head -n1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"
  grep -qx 'License: GPL-3+' "$doc/copyright" || fail "the copyright file names no GPL-3+"
  grep -q 'GNU GENERAL PUBLIC LICENSE' "$source/LICENSE" || fail "LICENSE is not the GPL"
  if [ -e /usr/share/common-licenses/GPL-3 ]; then
    cmp -s "$source/LICENSE" /usr/share/common-licenses/GPL-3 || fail "LICENSE is not the GPL-3 text"
  fi
  metainfo=$root/usr/share/metainfo/$app.metainfo.xml
  if [ -e "$metainfo" ]; then
    grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
      fail "the metainfo declares no GPL-3.0-or-later"
  fi
  ;;

validators)
  root=$1 source=$2
  desktop=$root/usr/share/applications/$app.desktop
  metainfo=$root/usr/share/metainfo/$app.metainfo.xml
  [ -e "$desktop" ] || skip "the editor is not built, so no desktop files are installed"
  command -v desktop-file-validate >/dev/null || skip "desktop-file-validate is missing (desktop-file-utils)"
  command -v appstreamcli >/dev/null || skip "appstreamcli is missing (appstream)"
  desktop-file-validate "$desktop" || fail "desktop-file-validate refused $desktop"
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refused $metainfo"
  # The icon the entry names is installed.
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -e "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon named $icon"
  # The published screenshots are the repository's; the editor's screenshot tool makes them.
  if [ -d "$source/docs/screenshots" ]; then
    while read -r image; do
      [ -e "$source/docs/screenshots/$image" ] || fail "docs/screenshots/$image is missing"
    done < <(sed -n 's|.*<image>.*/docs/screenshots/\(.*\)</image>.*|\1|p' "$metainfo")
  else
    echo "note: no docs/screenshots yet, so the screenshots were not compared"
  fi
  ;;

manuals)
  root=$1
  man1=$root/usr/share/man/man1
  command -v groff >/dev/null || skip "groff is missing (groff-base)"
  # The manuals are installed compressed; read them as man does.
  pages=$VELMORA_CONFIG_DIR/manuals
  mkdir "$pages"
  for gz in "$man1"/*.1.gz; do
    zcat "$gz" >"$pages/$(basename "$gz" .gz)"
  done
  man1=$pages
  for page in "$man1"/*.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  done
  # Every command and every option the programs' own help texts name is in their manual.
  cli=$root/usr/bin/velmora-cli
  help=$("$cli" --help)
  commands=$(echo "$help" | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p')
  [ -n "$commands" ] || fail "velmora-cli --help lists no commands"
  for c in $commands; do
    grep -q "^\.SS \"$c" "$man1/velmora-cli.1" || fail "velmora-cli.1 has no section for $c"
    help+=$'\n'$("$cli" "$c" --help 2>&1 || true)
  done
  check_options() { # PAGE HELP
    for option in $(echo "$2" | grep -oE '(^|[^a-z-])--?[a-z][a-z0-9-]*' | grep -oE -- '--?[a-z][a-z0-9-]*' | sort -u); do
      grep -qF -- "${option//-/\\-}" "$1" || fail "$(basename "$1") does not name $option"
    done
  }
  check_options "$man1/velmora-cli.1" "$help"
  # Every option's readable and stored name is in the manual.
  for name in $("$cli" settings --defaults | awk 'NR > 1 { print $1; print $2 }'); do
    grep -qF -- "${name//-/\\-}" "$man1/velmora-cli.1" || fail "velmora-cli.1 does not name the option $name"
  done
  if [ -x "$root/usr/bin/velmora" ]; then
    # The editor's help needs no display.
    ehelp=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/velmora" --help)
    check_options "$man1/velmora.1" "$ehelp"
  fi
  ;;

completion)
  root=$(realpath "$1")
  lib=/usr/share/bash-completion/bash_completion
  [ -e "$lib" ] || skip "bash-completion is missing"
  PATH=$root/usr/bin:$PATH bash -c '
    source "$1"
    source "$2"
    status=0
    mkdir "$3" && cd "$3"
    touch "a.mp3" "B.MP3" "c.wav" "notes.txt" "with space.mp3"
    mkdir sub
    # A line to complete (the last word is completed), and the replies expected, sorted.
    while IFS="|" read -r line want; do
      read -ra COMP_WORDS <<<"$line"
      [[ $line == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      COMP_LINE=$line COMP_POINT=${#line} COMPREPLY=()
      _velmora_cli velmora-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
      got=$(printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd " ")
      [ "$got" = "$want" ] || { echo "FAIL: \"$line\" completed to \"$got\", not \"$want\"" >&2; status=1; }
    done <<TABLE
velmora-cli |--defaults --help --option --quiet --version batch chapters cue help info normalize save settings split undo
velmora-cli sa|save
velmora-cli --defaults no|normalize
velmora-cli save --fa|--fade-in --fade-out
velmora-cli save -|-- --auto-trim --begin --defaults --dry-run --end --fade-in --fade-out --gain --help --mp3 --option --output --quiet --timing --wav --yes -n -o -y
velmora-cli info --j|--json --json=display
velmora-cli info --l|--loudness
velmora-cli settings --|--defaults --export --help --import --json --option --quiet --set
velmora-cli split --g|--gain
velmora-cli batch --j|--jobs --json --json=display
velmora-cli batch --s|--shard
velmora-cli normalize --f|--files-from
velmora-cli info --files-from |B.MP3 a.mp3 c.wav notes.txt sub with space.mp3
velmora-cli cue --|-- --defaults --help --json --min-gap --min-track --option --quiet --threshold
velmora-cli split --n|--names --no-tags
velmora-cli help sp|split
velmora-cli -q --option X=1 info --l|--loudness
velmora-cli --option CheckBoxSave|CheckBoxSaveAs_WithTime= CheckBoxSaveWAV= CheckBoxSave_WithTime=
velmora-cli settings --set RadioGroupCue|RadioGroupCueSplit=
velmora-cli info --option=CheckBoxClea|CheckBoxCleanup=
velmora-cli --option save-a|save-as-wav= save-as-with-time=
velmora-cli settings --set cue-m|cue-min-track-length=
velmora-cli info --option=clea|cleanup=
velmora-cli save --gain |
velmora-cli info |B.MP3 a.mp3 c.wav sub with space.mp3
velmora-cli save -o |B.MP3 a.mp3 c.wav notes.txt sub with space.mp3
TABLE
    exit $status
  ' completion "$lib" "$root/usr/share/bash-completion/completions/velmora-cli" "$VELMORA_CONFIG_DIR/files" ||
    status=1
  ;;

launch)
  root=$1
  desktop=$root/usr/share/applications/$app.desktop
  [ -e "$desktop" ] || skip "the editor is not built, so no desktop entry is installed"
  command -v gio >/dev/null || skip "gio is missing (libglib2.0-bin)"
  work=$VELMORA_CONFIG_DIR
  mkdir "$work/bin"
  # A stand-in for the editor that records its arguments, NUL-separated.
  printf '#!/bin/sh\nprintf "%%s\\0" "$@" >"%s/args.tmp" && mv "%s/args.tmp" "%s/args"\n' \
    "$work" "$work" "$work" >"$work/bin/velmora"
  chmod +x "$work/bin/velmora"
  for name in "plain.mp3" "with space.mp3" "it's \"quoted\".mp3" $'latin1 \xe9.mp3' "-dash.mp3"; do
    file=$work/$name
    touch "$file"
    rm -f "$work/args"
    PATH=$work/bin:$PATH gio launch "$desktop" "$file" 2>&1 || fail "gio launch refused \"$name\""
    for _ in $(seq 50); do
      [ -e "$work/args" ] && break
      sleep 0.1
    done
    cmp -s "$work/args" <(printf '%s\0' "$file") ||
      fail "\"$name\" reached the editor as: $(tr '\0' '|' <"$work/args" 2>/dev/null)"
  done
  ;;

defaults)
  # Installing the editor leaves every audio type with the player that had it: the desktop
  # database puts the entries of one folder in order of their names, so an entry that listed the
  # types would become the default of all who sort after it.
  root=$1
  desktop=$root/usr/share/applications/$app.desktop
  [ -e "$desktop" ] || skip "the editor is not built, so no desktop entry is installed"
  command -v xdg-mime >/dev/null || skip "xdg-mime is missing (xdg-utils)"
  command -v update-desktop-database >/dev/null || skip "update-desktop-database is missing (desktop-file-utils)"
  work=$VELMORA_CONFIG_DIR
  apps=$work/share/applications
  mkdir -p "$apps" "$work/config" "$work/home"
  types="audio/mpeg audio/x-mp3 audio/mp2 audio/x-wav audio/vnd.wave application/x-cue"
  # A player whose name sorts after the editor's, as most do, and no choice of the user's.
  printf '[Desktop Entry]\nType=Application\nName=Player\nExec=true %%U\nMimeType=%s;\n' \
    "$(echo $types | tr ' ' ';')" >"$apps/zz-player.desktop"
  query() { # TYPE: the default as xdg-mime and, when it is there, GLib see it
    local env=(env -i PATH="$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/config"
      XDG_CONFIG_DIRS="$work/config" XDG_DATA_HOME="$work/home" XDG_DATA_DIRS="$work/share")
    "${env[@]}" xdg-mime query default "$1"
    if command -v gio >/dev/null; then
      "${env[@]}" gio mime "$1" 2>/dev/null | sed -n '1s/.*: *//p'
    fi
  }
  update-desktop-database "$apps"
  declare -A before
  for type in $types; do
    before[$type]=$(query "$type" | paste -sd " ")
    [ -z "$(echo ${before[$type]} | tr " " "\\n" | grep -v "^zz-player.desktop$")" ] ||
      fail "$type was not the player's to begin with: ${before[$type]}"
  done
  cp "$desktop" "$apps/"
  update-desktop-database "$apps"
  for type in $types; do
    after=$(query "$type" | paste -sd " ")
    [ "$after" = "${before[$type]}" ] ||
      fail "installing made $type open with \"$after\" instead of \"${before[$type]}\""
  done
  # Plain PCM WAV files are refused by the editor, so it is never offered for them.
  grep -q '^MimeType=.*audio/x-wav' "$desktop" && fail "the entry claims audio/x-wav"
  ;;

languages)
  # The installed editor finds the shipped translation of the desktop's language beside it.
  root=$1
  [ -x "$root/usr/bin/velmora" ] || skip "the editor is not built"
  work=$VELMORA_CONFIG_DIR
  mkdir -p "$work/empty"
  for case in "de_DE.UTF-8|- keine Datei geöffnet -" "fr_FR.UTF-8|- aucun fichier ouvert -" \
    "C|- no file opened -"; do
    locale=${case%%|*} want=${case#*|}
    rm -f "$work/Velmora.reg"
    got=$(cd "$work/empty" && LC_ALL=$locale LANG=$locale QT_QPA_PLATFORM=offscreen \
      "$root/usr/bin/velmora" --quit-when-idle 2>/dev/null | sed -n 's/^File: *//p')
    [ "$got" = "$want" ] || fail "with LC_ALL=$locale the editor showed \"$got\", not \"$want\""
  done
  ;;

*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac
exit $status
