#!/usr/bin/env bash
# The cabinet of the full-disk case, made at build time into OUT: full.cab
# (stored) holding bulk.bin, 6 MiB that do not compress; bulk.bin stays
# beside it for the comparison. The time is the engine tests' cabinet time.
set -euo pipefail
out=$1
export TZ=UTC
rm -rf "$out"; mkdir -p "$out"
cd "$out"
head -c $((6 * 1024 * 1024)) /dev/urandom > bulk.bin
touch -d '2021-03-04 05:06:08' bulk.bin
gcab -c -n full.cab bulk.bin
