#!/usr/bin/env bash
# Fails when a library folder includes a folder above it. The folders stand on floors, from the
# bottom up; a source may include its own floor and those below, never one above, so the folders
# cannot form a circle. Usage: IncludeFloors.sh SOURCE_ROOT
# Each offending include is printed as FILE:LINE, relative to SOURCE_ROOT.
set -euo pipefail

root=${1:?usage: IncludeFloors.sh SOURCE_ROOT}
cd "$root"

floors="foundation resources devicelink devicememory devices audio layouts app/kit panels propertypanel app"
# Above every floor: no library may include them.
above="tests bench fuzz"

# The floors' top folders, each searched once with the floors nested in it (app with app/kit).
folders=()
for folder in $floors; do
    folder=${folder%%/*}
    [[ -d $folder && " ${folders[*]} " != *" $folder "* ]] && folders+=("$folder")
done
[[ ${#folders[@]} -gt 0 ]] || { echo "no floor folder under $root"; exit 1; }

# Every include line of every source, as FILE:LINE:TEXT.
{ grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' \
       '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "${folders[@]}" || [[ $? == 1 ]]; } |
    sort -t: -k1,1 -k2,2n |
awk -v floors="$floors" -v above="$above" '
    BEGIN {
        count = split(floors, floor, " ")
        split(above, top, " ")
    }
    # The floor of a path: the longest floor folder it lies in (app/kit/X is on the floor of
    # app/kit, app/X on that of app); count + 1 above them all; 0 for none.
    function floor_of(path,    i, best, length_) {
        best = 0; length_ = 0
        for (i = 1; i <= count; ++i)
            if (index(path, floor[i] "/") == 1 && length(floor[i]) > length_) {
                best = i; length_ = length(floor[i])
            }
        for (i in top)
            if (index(path, top[i] "/") == 1) best = count + 1
        return best
    }
    {
        file = $0; sub(/:.*/, "", file)
        rest = substr($0, length(file) + 2)
        line = rest; sub(/:.*/, "", line)
        text = substr(rest, length(line) + 2)
        if (!match(text, /["<][^">]+[">]/)) next
        included = substr(text, RSTART + 1, RLENGTH - 2)
        own = floor_of(file)
        target = floor_of(included)
        if (target > own) {
            what = target > count ? "the folder " top_name(included) " is above every library" \
                                  : "the floor " floor[target] " is above " floor[own]
            printf "%s:%s: includes \"%s\": %s\n", file, line, included, what
            ++offences
        }
    }
    function top_name(path) { sub(/\/.*/, "", path); return path }
    END {
        if (offences) {
            printf "%d include(s) run up a floor; the floors from the bottom: %s\n", offences, floors
            exit 1
        }
        printf "No include runs up a floor (%s)\n", floors
    }'
