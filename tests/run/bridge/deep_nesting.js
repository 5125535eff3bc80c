// A long chain of nested windows: freed from its top, and left to the end of the run
// (each handle then holds the one above it).
var depth = 1500;
var top = main.nw("TForm", "top", "");
var h = top, chain = [top];
for (var i = 0; i < depth; i++) {
  h = h.nw("TForm", "n" + i, "");
  chain.push(h);
}
h.propSet("OnDestroy", "sys.out('innermost destroyed: %1')");
top.fr();
try { chain[depth].classN(); } catch (e) { sys.out(e.message); }
var k = main.nw("TForm", "kept", "");
for (var j = 0; j < depth; j++) k = k.nw("TForm", "m" + j, "");
sys.out(main.listChildren().split(",").length);
