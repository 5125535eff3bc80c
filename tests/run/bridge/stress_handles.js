// Thousands of handles created, re-parented, freed and dropped, with a forced
// collection (gc(), present when ORVEL_TEST_GC is set) and garbage pressure between
// rounds, so the engine releases dropped handles while components still live.
function pressure() {
  var junk = [];
  for (var k = 0; k < 20000; k++) junk.push({ k: k, s: "x" + k });
  return junk.length;
}
var kept = main.nw("TForm", "kept", "kept form");
var made = 0;
for (var round = 0; round < 40; round++) {
  var f = main.nw("TForm", "", "");
  var children = [];
  for (var i = 0; i < 50; i++) {
    var c = f.nw(i % 3 == 0 ? "TButton" : (i % 3 == 1 ? "TLabel" : "TEdit"), "", "");
    made++;
    if (i % 5 == 0) c.propParent = kept;
    if (i % 7 == 0) c.propGet("Font").propSet("Size", 9 + (i % 4));
    if (i % 11 == 0) c.propSet("OnClick", "sys.getObj('%1')");
    children.push(c);
  }
  var m = f.nw("TMemo", "", "");
  var lines = m.propGet("Lines");
  for (var j = 0; j < 20; j++) lines.add("line " + j);
  if (round % 2 == 0) f.fr();            // children destroyed under their handles
  if (round % 4 == 1) f.propParent = null;
  for (var t = 0; t < children.length; t += 9) {
    try { children[t].propGet("Name"); } catch (e) { /* destroyed with its form */ }
  }
  children = null;
  f = null;
  m = null;
  lines = null;
  pressure();
  if (typeof gc == "function") gc();
}
sys.out("made " + made);
sys.out("kept has children " + (kept.listChildren().length > 0));
