#!/bin/sh
# Refreshes apt's package lists for the install scripts, and never stops
# them: a mirror in the middle of a sync serves an index that disagrees
# with its Release file for a while, and `apt-get update` then fails as a
# whole although every other index was fetched. So it is tried again a few
# times, with a growing pause; if it still fails, one line says so and the
# caller goes on with the lists it has (an install those lists cannot
# satisfy still fails, with apt's own message).
#   scripts/apt-update.sh [APT-GET OPTION...]
# QZ_APT_UPDATE_TRIES: how many tries (default 4); QZ_APT_UPDATE_PAUSE: the
# first pause in seconds, doubled after each try (default 10).
set -u
tries=${QZ_APT_UPDATE_TRIES:-4}
pause=${QZ_APT_UPDATE_PAUSE:-10}
case $tries in '' | *[!0-9]* | 0) tries=4 ;; esac
case $pause in '' | *[!0-9]*) pause=10 ;; esac

log=$(mktemp)
trap 'rm -f "$log"' EXIT
try=1
while :; do
    if apt-get -qq "$@" update >"$log" 2>&1; then
        cat "$log"
        exit 0
    fi
    # apt's first error names the index (and says "Mirror sync in progress?").
    why=$(grep -m 1 '^E:' "$log" || tail -n 1 "$log")
    [ "$try" -lt "$tries" ] || break
    echo "apt-get update failed (try $try of $tries: $why); again in $pause s" >&2
    sleep "$pause"
    pause=$((pause * 2))
    try=$((try + 1))
done
echo "apt-get update failed $tries times; going on with the package lists this machine has ($why)" >&2
exit 0
