#!/usr/bin/env bash
# Long scripts (50,000 lines of top-level declarations, with an include) keep what
# short ones have: errors near their end name the file and line where they stand,
# also past an include and on lines that are not ASCII; event statements see the
# declarations; host names resolve in any letter case. Usage: big_script.sh ORVEL
. "$(dirname "${BASH_SOURCE[0]}")/../scratch.sh" "$@"

# declarations PREFIX COUNT [CR]: COUNT lines "var PREFIXi = i;", CR LF ends with CR.
declarations() {
  awk -v p="$1" -v n="$2" -v e="${3:+\r}" 'BEGIN { for (i = 0; i < n; i++) printf "var %s%d = %d;%s\n", p, i, i, e }'
}

{
  printf '#!/usr/bin/env orvel\r\n'
  declarations w 30000 cr
} >lib.js
for name in main wide; do
  {
    if [ $name = main ]; then echo '// A long script'; else echo '// Not only ASCII: é ü €'; fi
    declarations v 20000
    echo '#include "lib.js"'
    echo 'var cb = main.nw("TCheckBox", "cb", "check");'
    echo "cb.propSet(\"OnClick\", \"sys.out('event sees ' + v19999 + ' ' + w29999 + ' ' + typeof Md5)\");"
    echo 'cb.propSet("Checked", true);'
    echo 'OUT("case " + Md5("abc") + " " + typeof outer);'
    echo 'var outer = 1, md = 2;'
    if [ $name = main ]; then
      echo 'var last = v0 + w0; last.no.such;'
    else
      echo 'var s = "é ü €" + v0; s.no.such;'
    fi
    echo 'sys.out("not reached");'
  } >$name.js
done
for name in bad badwide; do
  {
    declarations w 29999 cr
    if [ $name = bad ]; then printf 'var w29999 = 29999 +;\r\n'; else printf 'var t = "€€ é"; var = 1;\r\n'; fi
    printf 'var after = 1;\r\n'
  } >$name.js
  {
    declarations v 20000
    echo "#include \"$name.js\""
    echo 'sys.out("not reached");'
  } >use_$name.js
done

# check NAME EXPECTED: runs NAME.js, compares stdout with EXPECTED and the status with 1.
check() {
  local out status
  out=$("$orvel" --run "$1.js" --no-wait 2>"$1.stderr")
  status=$?
  if [ "$out" != "$2" ] || [ $status -ne 1 ]; then
    echo "$1: status $status, stdout:"
    echo "$out"
    echo "--- expected:"
    echo "$2"
    cat "$1.stderr"
    failed=1
  fi
}

check main "event sees 19999 29999 function
case 900150983CD24FB0D6963F7D28E17F72 undefined
err> unit (20008, 21) main.js
err> var last = v0 + w0; last.no.such;
err> last.no is undefined"
check wide "event sees 19999 29999 function
case 900150983CD24FB0D6963F7D28E17F72 undefined
err> unit (20008, 23) wide.js
err> var s = \"é ü €\" + v0; s.no.such;
err> s.no is undefined"
check use_bad "err> unit (30000, 21) $work/bad.js
err> var w29999 = 29999 +;
err> expected expression, got ';'"
check use_badwide "err> unit (30000, 21) $work/badwide.js
err> var t = \"€€ é\"; var = 1;
err> missing variable name"
exit $failed
