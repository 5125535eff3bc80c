// Names of new handles: generated, checked, refused without a trace.
function tryIt(f) {
  try { f(); sys.out("no failure"); } catch (e) { sys.out(e.message); }
}
var b1 = main.nw("TButton", "", "");
var b2 = main.nw("TButton", "", "");
var b3 = main.nw("TButton", "", "One");
sys.out(b3.propGet("Name") + " " + b3.propGet("Caption") + " " + b3.classN());
var low = main.nw("tlabel", "", "");
sys.out(low.propGet("Name"));
tryIt(function () { main.nw("TButton", "button1", ""); });
tryIt(function () { main.nw("TButton", "9lives", ""); });
tryIt(function () { main.nw("TButton", "a.b", ""); });
tryIt(function () { main.nw("TNoSuchThing", "x1", ""); });
tryIt(function () { main.nw("TEdit", "e1", "caption"); });
tryIt(function () { main.nw("TMemo", "m1", "caption"); });
var e1 = main.nw("TEdit", "e2", "");
sys.out(sys.listObj());
sys.out(sys.getObj("BUTTON2").propGet("Name"));
tryIt(function () { sys.getObj("x1"); });
var f = main.nw("TFont", "font1", "");
sys.out(f.classN() + " " + f.listProp());
tryIt(function () { f.nw("TButton", "", ""); });
sys.out(main.classN() + " " + (main.self() > 0));
