#!/usr/bin/env bash
# Test data of the cabinet transfer, made at build time into OUT:
#   src/            the files that go into the cabinets (with known times)
#   stored.cab      gcab, no compression;  mszip.cab  gcab -z
#   large.cab       gcab -z, about 80 MB in 200 files (extraction speed)
#   many/, huge/    1,500 small files and three of 9 to 12 MB, each set in
#                   many_stored.cab, many_mszip.cab, huge_stored.cab and
#                   huge_mszip.cab
#   mspack/         libmspack's own test cabinets (the set renamed to the
#                   names its headers use)
#   expected/NAME/  what cabextract makes of each good libmspack cabinet
set -euo pipefail
out=$1; testdata=$2
export TZ=UTC
# Only what this script makes is cleared: the build also writes libraries here.
rm -rf "$out/src" "$out/mspack" "$out/expected" "$out/large" "$out"/*.cab
mkdir -p "$out/src/sub" "$out/mspack" "$out/expected" "$out/large"
cd "$out/src"
printf 'alpha\r\n' > alpha.txt
printf 'Beta file, mixed Case name\r\n' > Beta.txt
head -c 100000 /dev/zero | tr '\0' 'z' > zeros.bin
seq 1 20000 > numbers.txt
printf 'inner\r\n' > sub/inner.txt
printf 'access 97\r\n' > 97_db.mdb
printf 'access 2000\r\n' > 2000_db.mdb
printf 'loose\r\n' > loose.txt
touch -d '2021-03-04 05:06:08' alpha.txt Beta.txt zeros.bin numbers.txt sub/inner.txt 97_db.mdb 2000_db.mdb
touch -d '2019-11-12 13:14:16' numbers.txt
gcab -c "$out/stored.cab" alpha.txt Beta.txt zeros.bin numbers.txt sub/inner.txt 97_db.mdb 2000_db.mdb
gcab -c -z "$out/mszip.cab" alpha.txt Beta.txt zeros.bin numbers.txt sub/inner.txt 97_db.mdb 2000_db.mdb

cd "$out/large"
for i in $(seq -w 1 200); do
  { head -c 200000 /dev/urandom | base64; seq 1 30000; } > "f$i.dat"
done
gcab -c -z "$out/large.cab" f*.dat
cd "$out"; rm -rf large

# Many small files (empty ones among them) and a few larger than all the
# transfer writer's buffers together, each set stored and MSZIP: the trees
# must come out byte for byte whatever the sizes.
rm -rf "$out/many" "$out/huge"
mkdir -p "$out/many" "$out/huge"
cd "$out/many"
awk 'BEGIN { for (i = 1; i <= 1500; i++) { f = sprintf("s%04d.txt", i); n = i % 250 == 0 ? 0 : (i * 37) % 3001
             line = sprintf("file %d;", i); text = ""; while (length(text) < n) text = text line
             printf "%s", substr(text, 1, n) > f; close(f) } }'
touch -d '2021-03-04 05:06:08' s*.txt
gcab -c "$out/many_stored.cab" s*.txt
gcab -c -z "$out/many_mszip.cab" s*.txt
cd "$out/huge"
head -c 9000000 /dev/urandom | base64 > h1.bin
seq 1 1000000 > h2.bin
head -c 9437184 /dev/urandom > h3.bin
touch -d '2021-03-04 05:06:08' h1.bin h2.bin h3.bin
gcab -c "$out/huge_stored.cab" h1.bin h2.bin h3.bin
gcab -c -z "$out/huge_mszip.cab" h1.bin h2.bin h3.bin
cd "$out"

cp "$testdata"/*.cab "$out/mspack/"
for n in 1 2 3 4 5; do mv "$out/mspack/multi_basic_pt$n.cab" "$out/mspack/cabd_multi_basic_pt$n.cab"; done
for cab in mszip_lzx_qtm normal_2files_1folder normal_2files_2folders normal_255c_filename reserve_HFD; do
  mkdir -p "$out/expected/$cab"
  cabextract -q -d "$out/expected/$cab" "$out/mspack/$cab.cab"
done
mkdir -p "$out/expected/multi_basic"
(cd "$out/mspack" && cabextract -q -d "$out/expected/multi_basic" cabd_multi_basic_pt1.cab)
