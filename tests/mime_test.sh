#!/usr/bin/env bash
# The shared MIME description as the desktop reads it: compiled by update-mime-database into a
# scratch data folder beside the system's own, then asked through GLib (as file managers do).
# Usage: mime_test.sh VKT2-XML EXAMPLE.vkt2
set -u
xml=$1 example=$2
data=$(mktemp -d) || exit 1
trap 'rm -rf "$data"' EXIT
mkdir -p "$data/mime/packages" "$data/files" && cp "$xml" "$data/mime/packages/vkt2.xml" || exit 1
# Fails on XML the database does not accept.
XDG_DATA_DIRS="$data" update-mime-database "$data/mime" || { echo "FAIL: update-mime-database refused it" >&2 && exit 1; }
cp "$example" "$data/files/greeting.vkt2" && cp "$example" "$data/files/DATA" || exit 1
printf 'vkt2 lower case' >"$data/files/lower"
printf 'VKT' >"$data/files/short"
printf 'VK' >"$data/files/cut.vkt2"
failures=0
while IFS='|' read -r name want; do
  got=$(XDG_DATA_HOME="$data" XDG_DATA_DIRS="$data:/usr/share" \
    gio info -a standard::content-type "$data/files/$name" | sed -n 's/^ *standard::content-type: //p')
  if [ "$want" = "!" ]; then
    [ "$got" != application/x-vkt2 ] || { echo "FAIL: $name taken for VKT2" >&2 && failures=$((failures + 1)); }
  else
    [ "$got" = "$want" ] || { echo "FAIL: $name is '$got', not '$want'" >&2 && failures=$((failures + 1)); }
  fi
done <<'TABLE'
greeting.vkt2|application/x-vkt2
DATA|application/x-vkt2
lower|!
short|!
cut.vkt2|application/x-vkt2
TABLE
# The name a file manager shows, in English and in Japanese.
described=$(cat "$data/mime/application/x-vkt2.xml")
for comment in '<comment>VKT2 compressed file</comment>' '<comment xml:lang="ja">VKT2 圧縮ファイル</comment>'; do
  grep -qF "$comment" <<<"$described" || { echo "FAIL: no $comment" >&2 && failures=$((failures + 1)); }
done
[ "$failures" = 0 ]
