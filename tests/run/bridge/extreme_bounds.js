// Bounds at the ends of the 32-bit range are clamped to what a window can take, and
// nothing on the way (anchoring, alignment, scroll range, borders) overflows.
var MAX = 2147483647, MIN = -2147483648;
function bounds(h) {
  return [h.propGet("Left"), h.propGet("Top"), h.propGet("Width"), h.propGet("Height")].join(",");
}
var f = main.nw("TForm", "f", "");
f.propSet("BorderWidth", MAX);
var classes = ["TButton", "TLabel", "TEdit", "TValueListEditor", "TListBox", "TMemo", "TCheckBox",
               "TForm"];
var anchors = ["akLeft,akTop", "akRight,akBottom", "akLeft,akTop,akRight,akBottom"];
classes.forEach(function (cls, i) {
  var c = f.nw(cls, "c" + i, "");
  c.propSet("Anchors", anchors[i % 3]);
  c.setBounds(MAX, MAX, MAX, MAX);
  var big = bounds(c);
  c.setBounds(MIN, MIN, MIN, MIN);
  var small = bounds(c);
  c.propSet("Left", MAX);
  c.propSet("Width", MAX);
  if (cls == "TForm") c.propSet("ClientHeight", MAX);
  sys.out(cls + " " + big + " " + small + " " + bounds(c));
});
var a = f.nw("TLabel", "aligned", "");
["alTop", "alBottom", "alLeft", "alRight", "alClient"].forEach(function (al) {
  a.propSet("Align", al);
  a.setBounds(MIN, MIN, MAX, MAX);
});
f.setBounds(MAX, MIN, MAX, MAX);
sys.out("form " + bounds(f) + " client " + f.propGet("ClientWidth") + "x" + f.propGet("ClientHeight"));
f.propSet("AutoScroll", false);
f.propSet("AutoScroll", true);
f.propSet("BorderWidth", 3);
var cons = f.propGet("Constraints");
cons.propSet("MinWidth", MAX);
cons.propSet("MaxHeight", MAX);
sys.out("constrained " + bounds(f) + " " + cons.propGet("MinWidth"));
f.propSet("Visible", true);
f.setBounds(0, 0, MAX, MAX);
sys.out("shown " + bounds(f));
f.propSet("Visible", false);
