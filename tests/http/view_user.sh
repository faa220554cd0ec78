#!/bin/bash
# Who may look at the live view on loopback: the monitor's own user without
# the token, anyone else only with it, in the address or in the cookie the
# address sets. On Linux, as root, the other user is uid 65534; under Wine,
# curl itself, a Linux program and so no Windows process whose user could be
# told.
# usage: view_user.sh MONITOR
# RUN, if set, is the command that runs Windows programs (Wine).
set -u
monitor=$1
launcher=() other=() who="curl, a Linux program,"
if [[ $monitor == *.exe ]]; then
  read -ra launcher <<<"${RUN:-}"
else
  who="uid 65534"
  [ "$(id -u)" -eq 0 ] || { echo "skipped: only root can run a client as another user"; exit 77; }
  command -v setpriv >/dev/null || { echo "skipped: setpriv (util-linux) is missing"; exit 77; }
  other=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "$1"; shift; for f in "$@"; do echo "--- $f"; tr -d '\r' <"$f"; done; exit 1; }

"${launcher[@]}" "$monitor" --view --listen 127.0.0.1:0 >/dev/null 2>"$work/err" </dev/null &
pid=$!
for _ in $(seq 600); do grep -q "live view at" "$work/err" && break; sleep 0.1; done
printed=$(grep -o 'http://[^ ]*' "$work/err" | tr -d '\r')
[[ $printed =~ ^(http://127\.0\.0\.1:([0-9]+)/)\?token=([0-9a-f]{32})$ ]] ||
  fail "expected the address with a token, not \"$printed\"" "$work/err"
base=${BASH_REMATCH[1]} port=${BASH_REMATCH[2]} token=${BASH_REMATCH[3]}
cookie="vesprine-token-$port"

# The head of the answer to GET $base$2 with the cookie $3 ("-": none), asked by $1's user.
head_of() {
  local who=() cookies=()
  [ "$1" = other ] && who=("${other[@]}")
  [ "$3" != - ] && cookies=(-b "$3")
  "${who[@]}" curl -s -o /dev/null -D - --max-time 60 "${cookies[@]}" "$base${2#-}" | tr -d '\r'
}

checked=0
while read -r who path cookies expected; do
  head=$(head_of "$who" "$path" "$cookies")
  [ "$(echo "$head" | head -1 | cut -d' ' -f2)" = "$expected" ] ||
    fail "GET /${path#-} by the $who user with cookie $cookies: expected $expected, got: ${head%%$'\n'*}" "$work/err"
  checked=$((checked + 1))
done <<TABLE
other - - 403
other frame - 403
other frame vesprine-token=$token 403
other frame $cookie=${token}0 403
other frame $cookie=${token:1} 403
other frame vesprine-token-$((port + 1))=$token 403
other ?token=${token:1} - 403
other frame?token=$token - 200
other frame other=1;$cookie=$token 200
other - $cookie=$token 200
TABLE
# The token in the address opens the page and sets the cookie.
head_of other "?token=$token" - | grep -qxF "Set-Cookie: $cookie=$token; Path=/; HttpOnly; SameSite=Strict" ||
  fail "the page opened with the token did not set the cookie $cookie" "$work/err"
own=
if [ ${#other[@]} -gt 0 ]; then
  for path in - frame; do
    [ "$(head_of own "$path" - | head -1 | cut -d' ' -f2)" = 200 ] ||
      fail "GET /${path#-} by the monitor's own user without the token was not answered 200" "$work/err"
  done
  # Another user holding every connection it can open keeps the own user out of none.
  "${other[@]}" bash -c 'for _ in $(seq 100); do exec {fd}<>"/dev/tcp/127.0.0.1/$1" || break; done; sleep 60' - "$port" \
    2>/dev/null &
  holder=$!
  sleep 1
  answer=$(head_of own frame - | head -1 | cut -d' ' -f2)
  kill $holder
  [ "$answer" = 200 ] || fail "with another user's idle connections open, the own user got $answer" "$work/err"
  own="; the monitor's own user was served without it, beside another user's idle connections"
fi
kill -TERM $pid
wait $pid
pid=
echo "$who was refused without the token and served with it ($checked requests)$own"
