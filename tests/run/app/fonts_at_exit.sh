#!/usr/bin/env bash
# The end of a run: one that drew no text leaves the font configuration unread (it was
# loaded at exit only to be freed, a short run's last milliseconds), and one that drew
# text still ends cleanly after its fonts were loaded.
# Usage: fonts_at_exit.sh ORVEL
. "$(dirname "${BASH_SOURCE[0]}")/../scratch.sh" "$@"

# With its configuration missing fontconfig complains on stderr as soon as it is read.
echo 'sys.out("no text");' >quiet.js
out=$(FONTCONFIG_FILE="$work/missing/fonts.conf" "$orvel" --run quiet.js --no-wait 2>stderr)
status=$?
[ "$status" = 0 ] || fail "quiet run: exit status $status: $(cat stderr)"
[ "$out" = "no text" ] || fail "quiet run: printed \"$out\""
if grep -q -i fontconfig stderr; then fail "quiet run read the font configuration: $(cat stderr)"; fi

cat >draw.js <<'SCRIPT'
var b = main.nw("TButton", "b1", "Drawn");
b.setBounds(10, 10, 100, 30);
main.propSet("Visible", true);
sys.sleep(300);
sys.out("shown " + b.propGet("Caption"));
SCRIPT
out=$("$orvel" --run draw.js --no-wait 2>stderr)
status=$?
[ "$status" = 0 ] || fail "drawing run: exit status $status: $(cat stderr)"
[ "$out" = "shown Drawn" ] || fail "drawing run: printed \"$out\""
exit $failed
