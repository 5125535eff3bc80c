// The end of the run releases every handle at once: 100,000 buttons kept in an array,
// forms nested and crossing (a button owned by one form and shown on another), a
// button owned by a label, a form freed by fr whose button's handle lives on, property
// handles, and handlers on the events a form's end fires, which must run nothing once
// the run is over. Every component must go, none twice (the sanitizer build checks).
var f = main.nw("TForm", "f", "kept");
var keep = [];
for (var i = 0; i < 100000; i++) keep.push(f.nw("TButton", "b" + i, "b"));
var g = main.nw("TForm", "g", "second");
g.setBounds(20, 20, 300, 200);
g.propSet("Visible", true);
var inner = g.nw("TForm", "inner", "inner");
inner.propSet("Visible", true);
var guest = inner.nw("TButton", "guest", "guest");
guest.propParent = f;
var stray = f.nw("TLabel", "stray", "");
var orphan = stray.nw("TButton", "orphan", "o");
var gone = main.nw("TForm", "gone", "");
var left = gone.nw("TButton", "left", "l");
gone.fr();
var font = f.propGet("Font");
var lines = g.nw("TMemo", "memo", "").propGet("Lines");
lines.add("x");
var names = ["f", "g", "inner"];
for (var n = 0; n < names.length; n++) {
  var h = sys.getObj(names[n]);
  var events = ["OnDestroy", "OnHide", "OnResize", "OnDeactivate"];
  for (var e = 0; e < events.length; e++)
    h.propSet(events[e], "sys.out('late " + events[e] + " %1')");
}
sys.out(keep.length + " kept, " + f.listChildren().split(",").length + " shown on f");
