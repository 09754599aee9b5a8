#!/usr/bin/env bash
# A skeleton guideline compiled unchanged changes no result: every interchange below the given folders is
# checked with --strict without a guideline, then against the skeleton of each of its message types; the
# two reports must be the same but for the guideline each message names.
#   check_skeletons.sh TALMIRO_CLI STANDARDS_DIR WORK_DIR FOLDER...
set -u
cli="$1" standards="$2" work="$3"
shift 3
rm -rf "$work"
mkdir -p "$work/guidelines" || exit 1
# A base directory of its own: the releases linked, no guidelines or partners of the build.
for dir in "$standards"/*/; do
  name=$(basename "$dir")
  [ "$name" = guidelines ] || [ "$name" = CMakeFiles ] || ln -s "$(readlink -f "$dir")" "$work/$name"
done
files=0 compared=0 bad=0
while IFS= read -r -d '' file; do
  case $file in *.tsv | *.gdf | *.GDT | *.md) continue ;; esac
  files=$((files + 1))
  plain=$(timeout 60 "$cli" check --strict --no-guideline --format json --standards "$work" "$file" 2>/dev/null)
  types=$(printf '%s' "$plain" | grep -o '"release":"[^"]*","segments":[0-9]*,"type":"[^"]*","version":"[^"]*"' |
    sed -E 's/"release":"([^"]*)".*"type":"([^"]*)","version":"([^"]*)"/\2 \3\1/' | sort -u)
  while read -r type release; do
    [ -n "$type" ] || continue
    skeleton="$work/guidelines/$type-$release"
    if [ ! -e "$skeleton.gdf" ]; then
      # Messages of releases without a table (service messages, unknown releases) have no skeleton.
      "$cli" guideline new "$type" "$release" --standards "$work" --out "$skeleton.gdf" 2>/dev/null || touch "$skeleton.gdf"
      if [ -s "$skeleton.gdf" ] && ! "$cli" compile "$skeleton.gdf"; then
        echo "the skeleton of $type $release does not compile"
        bad=$((bad + 1))
      fi
    fi
    [ -f "$skeleton.GDT" ] || continue
    with=$(timeout 60 "$cli" check --strict --format json --guideline "$skeleton.GDT" --standards "$work" "$file" 2>/dev/null |
      sed 's/"guideline":"[^"]*",//g')
    compared=$((compared + 1))
    if [ "$with" != "$plain" ]; then
      bad=$((bad + 1))
      echo "$file changes against the skeleton of $type $release:"
      diff <(printf '%s\n' "$plain" | tr '{' '\n') <(printf '%s\n' "$with" | tr '{' '\n') | head -10
    fi
  done <<<"$types"
done < <(find "$@" -type f -print0 2>/dev/null | sort -z)
echo "$files files, $compared checks against skeletons, $bad differ"
[ "$bad" -eq 0 ] && [ "$compared" -gt 0 ]
