#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Converts every disc under a folder: each ISO image (*.iso) and each folder
# holding VIDEO_TS, one GNU parallel job per disc, into a folder of its own
# under the output folder (library/a/b.iso -> OUT/a/b/Title_01.mp4), so the
# files of different discs never meet.
#
#   scripts/convert-library.sh [-j JOBS] [-o OUT] LIBRARY [-- CONVERT OPTIONS]
#
#   -j JOBS   discs converted at once (default: the usable processors / 4, at
#             least 1; each conversion's encoders use the processors it may use)
#   -o OUT    output folder (default: ./converted)
#   CONVERT OPTIONS go to every `rizuvira-cli convert`, e.g. -- -p 4 --main-feature
#
# Reruns resume: the discs found are numbered once, in OUT/.library/discs (a
# disc added later gets the next number), and GNU parallel's job log
# (OUT/.library/joblog) skips the discs that finished; every conversion runs
# with -n, so in a disc that was cut short only the titles whose files are
# missing are converted again. A file cut short is never under its own name:
# a cancelled one (SIGTERM, a scheduler's time limit) is NAME.partial.EXT, a
# killed one (SIGKILL) a temporary .NAME.XXXXXX.part that the rerun removes.
# Each disc's messages and progress lines are also in OUT/<disc>/convert.log.
#
# Exit status: 0 when every disc converted, else the number of discs that
# failed (as GNU parallel counts them); 2 for a usage error.
# rizuvira-cli is taken from $RIZUVIRA_CLI, else from PATH.
set -euo pipefail

# One disc (a job of GNU parallel): convert-library.sh --one OUT DISC FOLDER [OPTIONS]
if [ "${1:-}" = "--one" ]; then
  shift
  root=$1 disc=$2 folder=$3
  shift 3
  mkdir -p "$root/$folder"
  exec "$RIZUVIRA_CLI" convert "$disc" -o "$root/$folder" -n --log "$root/$folder/convert.log" "$@"
fi

usage() {
  sed -n '7,12p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

jobs=""
out="converted"
while getopts "j:o:h" option; do
  case "$option" in
    j) jobs=$OPTARG ;;
    o) out=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] || usage
library=$1
shift
[ "${1:-}" = "--" ] && shift
convert_options=("$@")

cli=${RIZUVIRA_CLI:-$(command -v rizuvira-cli || true)}
if [ -z "$cli" ] || [ ! -x "$cli" ]; then
  echo "convert-library: rizuvira-cli not found (install it, or set RIZUVIRA_CLI)" >&2
  exit 2
fi
if ! command -v parallel >/dev/null; then
  echo "convert-library: GNU parallel is needed (Debian: apt install parallel)" >&2
  exit 2
fi
if [ ! -d "$library" ]; then
  echo "convert-library: $library is not a folder" >&2
  exit 2
fi
if [ -z "$jobs" ]; then
  jobs=$(($(nproc) / 4))
  [ "$jobs" -ge 1 ] || jobs=1
fi
library=$(realpath "$library")
mkdir -p "$out/.library"
out=$(realpath "$out")
list="$out/.library/discs"
touch "$list"

# Every disc under the library, with the folder its files go to (relative to
# OUT), one "DISC<TAB>FOLDER" line each, in a stable order.
found() {
  local disc relative
  {
    find "$library" -type f -iname '*.iso' -print0
    find "$library" -type d -iname VIDEO_TS -print0 | while IFS= read -r -d '' ts; do
      printf '%s\0' "$(dirname "$ts")"
    done
  } | sort -z | while IFS= read -r -d '' disc; do
    relative=${disc#"$library"}
    relative=${relative#/}
    [ -n "$relative" ] || relative=$(basename "$library")
    case "$relative" in
      *.[iI][sS][oO]) relative=${relative%.*} ;;
    esac
    # A tab or a line break would break the list; such a disc is left out.
    case "$disc$relative" in
      *$'\t'* | *$'\n'*)
        echo "convert-library: left out (a tab or line break in its name): $disc" >&2
        continue ;;
    esac
    printf '%s\t%s\n' "$disc" "$relative"
  done
}

# Discs already numbered keep their place; new ones are appended, so the job
# log's sequence numbers stay valid.
found | while IFS= read -r line; do
  grep -qxF -- "$line" "$list" || printf '%s\n' "$line" >>"$list"
done

count=$(wc -l <"$list")
echo "convert-library: $count disc(s) under $library into $out, $jobs at once" >&2

status=0
RIZUVIRA_CLI=$cli parallel --jobs "$jobs" --joblog "$out/.library/joblog" --resume-failed \
  --colsep '\t' --line-buffer --tagstring '{2}:' --quote \
  bash "$(realpath "$0")" --one "$out" {1} {2} "${convert_options[@]}" \
  :::: "$list" || status=$?
exit "$status"
