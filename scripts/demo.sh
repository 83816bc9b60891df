#!/usr/bin/env bash
# The main job on the embedded default: installs what is missing, builds, makes a sample
# accounting folder with our own table layer, and shows and checks it with dbftool.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"
build="$root/build-demo"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DIO_TESTS=OFF >/dev/null
ninja -C "$build" -j"$(nproc)" dbftool sample_folder >/dev/null
folder="$build/sample-data"
rm -rf "$folder"
"$build/tools/sample_folder" "$folder"
echo
"$build/tools/dbftool" info "$folder/ZAK.DBF"
echo
echo "First records of POSCI.DBF and ZAK.DBF:"
"$build/tools/dbftool" dump "$folder/POSCI.DBF"
"$build/tools/dbftool" dump "$folder/ZAK.DBF" | sed -n 1,4p
echo
echo "First keys of NZAK.NTX (UPPER(NAZD)):"
"$build/tools/dbftool" keys "$folder/NZAK.NTX" | sed -n 1,6p
echo
echo "dbftool check $folder:"
"$build/tools/dbftool" check "$folder"
