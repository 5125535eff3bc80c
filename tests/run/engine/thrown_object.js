// An object or array thrown is placed at its throw statement, also when the
// value spans lines.
function fail(code) {
  if (code > 1)
    throw {
      code: code,
      text: "failed"
    };
}
try {
  throw [1, 2];
} catch (e) {
  sys.out("caught " + e.length);
}
fail(5);
