// The tree of parent handles: listChildren, propParent, fr.
function tryIt(f) {
  try { f(); sys.out("no failure"); } catch (e) { sys.out(e.message); }
}
var l1 = main.nw("TLabel", "l1", "label");
var b1 = main.nw("TButton", "b1", "button");
sys.out(main.listChildren());
var f = main.nw("TForm", "f", "inner form");
var fb = f.nw("TButton", "fb", "");
sys.out(main.listChildren() + " | " + f.listChildren() + " | " + fb.listChildren() + ".");
sys.out(main.propParent === null);
sys.out(fb.propParent.propGet("Name") + " " + f.propParent.propGet("Caption").length);
b1.propParent = f;
sys.out(b1.propParent.propGet("Name") + " " + f.listChildren());
f.propParent = null;
sys.out((f.propParent === null) + " " + main.listChildren());
var lb = l1.nw("TButton", "lb", "");
sys.out((lb.propParent === null) + " " + l1.listChildren() + ".");
tryIt(function () { f.propParent = fb; });
var font = b1.propGet("Font");
tryIt(function () { b1.propParent = font; });
tryIt(function () { font.propParent; });
tryIt(function () { b1.propParent = sys; });
f.fr();
f.fr();
sys.out(sys.listObj());
tryIt(function () { f.classN(); });
tryIt(function () { fb.propGet("Name"); });
tryIt(function () { b1.setBounds(1, 2, 3, 4); });
var loose = f.nw("TLabel", "loose", "");
sys.out(loose.classN() + " " + (loose.propParent === null));
