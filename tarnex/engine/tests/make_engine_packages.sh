#!/usr/bin/env bash
# Cabinets of the engine's cycle tests, made at build time into OUT:
#   user1.cab  stored: core.txt, settings.reg, Busvault.dll, table.bin, evil.txt,
#              ATL.DLL (a plain file under the name the engine treats apart)
#   user2.cab  MSZIP:  viewer.txt, extra.txt
#   bigNN.cab  MSZIP:  100 files each (cNN_fMMM.txt), ten cabinets
#   loose/     files that lie loose in the package folder
# Every file carries the time 2021-03-04 05:06:08 (UTC, as the tests expect).
set -euo pipefail
out=$1; busvault=$2
export TZ=UTC
stamp='2021-03-04 05:06:08'
rm -rf "$out"; mkdir -p "$out/one" "$out/two" "$out/loose" "$out/big"

cd "$out/one"
printf 'core file, first edition\r\n' > core.txt
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\VrelEngineTest\\Imported]\r\n"Text"="from reg"\r\n"Number"=dword:0000002a\r\n' > settings.reg
head -c 4096 /dev/zero | tr '\0' 'T' > table.bin
cp "$busvault" Busvault.dll
printf 'evil\r\n' > evil.txt
printf 'package atl\r\n' > ATL.DLL
touch -d "$stamp" core.txt settings.reg table.bin Busvault.dll evil.txt ATL.DLL
gcab -c -n "$out/user1.cab" core.txt settings.reg table.bin Busvault.dll evil.txt ATL.DLL

cd "$out/two"
printf 'viewer\r\n' > viewer.txt
printf 'extra\r\n' > extra.txt
touch -d "$stamp" viewer.txt extra.txt
gcab -c -z -n "$out/user2.cab" viewer.txt extra.txt

cd "$out/loose"
printf 'read me\r\n' > readme.txt
touch -d "$stamp" readme.txt

for c in $(seq -w 1 10); do
  mkdir -p "$out/big/$c"
  cd "$out/big/$c"
  for f in $(seq -w 1 100); do printf 'component %s file %s\r\n' "$c" "$f" > "c${c}_f${f}.txt"; done
  touch -d "$stamp" ./*.txt
  gcab -c -z -n "$out/big$c.cab" ./*.txt
done
