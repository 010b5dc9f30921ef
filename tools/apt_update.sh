#!/bin/sh
# apt-get update that outlasts a Debian mirror caught in the middle of a
# sync ("File has unexpected size ... Mirror sync in progress?"): it tries
# three times, half a minute apart, and then goes on with the indexes apt could
# fetch, saying so on standard error. apt ignores an index it could not
# fetch, so an install that needs it fails there, naming the package.
# Runs apt-get through as_root.sh.
#
#   tools/apt_update.sh
set -u

attempt=1
while ! "$(dirname "$0")/as_root.sh" apt-get update -qq; do
  if [ "$attempt" -ge 3 ]; then
    echo "apt_update.sh: apt-get update failed $attempt times; going on with the indexes it fetched" >&2
    exit 0
  fi
  attempt=$((attempt + 1))
  sleep "${APT_UPDATE_PAUSE:-30}"
done
