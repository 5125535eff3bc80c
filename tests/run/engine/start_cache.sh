#!/usr/bin/env bash
# The engine's library code kept compiled between starts: a run writes it to the cache
# folder, later runs use it and print the same, and a damaged or cut file is never used
# (it is compiled again and written anew); an unusable cache folder only costs time.
# Usage: start_cache.sh ORVEL
. "$(dirname "${BASH_SOURCE[0]}")/../scratch.sh" "$@"

# Library code the engine itself writes in script: sorting, replacing, iterating,
# promises, typed arrays, and an error thrown from inside it.
cat >script.js <<'EOF'
var a = [5, 1, 4, 2, 3].sort(function (x, y) { return y - x; });
var s = "a-b-c".replace(/-(\w)/g, function (m, c) { return c.toUpperCase(); });
var m = new Map([["k", 1], ["l", 2]]);
var keys = Array.from(m.keys()).join("+");
var t = new Uint8Array([3, 1, 2]).sort().join("");
var found = [1, 2, 3].find(function (x) { return x > 1; });
var thrown = "";
try { [1].reduce(function () {}, undefined, undefined); [].reduce(function () {}); } catch (e) { thrown = e.constructor.name; }
var later = "";
Promise.resolve(7).then(function (v) { later = "then " + v; });
sys.out(a.join(",") + " " + s + " " + keys + " " + t + " " + found + " " + thrown + " " + "x".padStart(3, "-"));
EOF
expected="5,4,3,2,1 aBC k+l 123 2 TypeError --x"

# run LABEL [ENV ARGUMENTS...]: one run, with the cache folder of this test unless the
# arguments for env say otherwise.
run() {
  local label=$1
  shift
  [ $# -gt 0 ] || set -- XDG_CACHE_HOME="$work/cache"
  local out
  out=$(env "$@" "$orvel" --run script.js --no-wait 2>"$work/stderr")
  local status=$?
  [ "$status" = 0 ] || fail "$label: exit status $status: $(cat "$work/stderr")"
  [ "$out" = "$expected" ] || fail "$label: printed \"$out\", expected \"$expected\""
}

file=$work/cache/orvel/engine-code.bin
run "first run"
[ -s "$file" ] || fail "first run: no $file"
cp "$file" first.bin 2>/dev/null
inode=$(stat -c %i "$file" 2>/dev/null)
run "run from the cache"
[ "$(stat -c %i "$file" 2>/dev/null)" = "$inode" ] || fail "run from the cache: the file was written again"

# A damaged byte in the middle of the engine's encoding, then a file cut short.
size=$(stat -c %s first.bin)
cp first.bin damaged.bin
printf '\377' | dd of=damaged.bin bs=1 seek=$((size / 2)) conv=notrunc status=none
cmp -s damaged.bin first.bin && fail "the test did not damage the file"
cp damaged.bin "$file"
run "damaged cache"
cmp -s "$file" first.bin || fail "damaged cache: not written anew"
head -c $((size / 3)) first.bin >"$file"
run "cut cache"
cmp -s "$file" first.bin || fail "cut cache: not written anew"

# A cache folder that is a file, and no home at all.
: >not_a_folder
run "unusable folder" XDG_CACHE_HOME="$work/not_a_folder"
run "no home" -u XDG_CACHE_HOME -u HOME
exit $failed
