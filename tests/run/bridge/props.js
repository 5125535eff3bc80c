// Published properties by name, by kind, and the handles of class-typed properties.
function tryIt(f) {
  try { f(); sys.out("no failure"); } catch (e) { sys.out(e.message); }
}
var all = main.listProp().split(",");
sys.out(all.length + " " + all[0] + " " + all[all.length - 1]);
var b1 = main.nw("TButton", "b1", "OK");
sys.out(b1.propGet("Caption"));
tryIt(function () { b1.propGet("caption"); });
main.propSet("Visible", true);
sys.out(main.propGet("Visible"));
main.propSet("Visible", false);
b1.propSet("Left", "10");
sys.out(b1.propGet("Left") + 5);
tryIt(function () { b1.propSet("Left", "ten"); });
sys.out(b1.propGet("Anchors"));
b1.propSet("Anchors", "[akLeft, akTop, akRight]");
sys.out(b1.propGet("Anchors"));
tryIt(function () { b1.propSet("Anchors", "akSideways"); });
tryIt(function () { b1.propSet("Font", "x"); });
sys.out("[" + b1.propGet("OnClick") + "]");
var font = b1.propGet("Font");
sys.out(font.propGet("Name").length > 0);
sys.out(sys.listObj() + " " + font.listProp());
sys.out(b1.propGet("Font").self() == font.self());
font.propSet("Style", "fsBold,fsUnderline");
sys.out(font.propGet("Style"));
font.fr();
sys.out(font.classN());
var memo = main.nw("TMemo", "m1", "");
var lines = memo.propGet("Lines");
tryIt(function () { lines.listProp(); });
sys.out(b1.propGet("PopupMenu") === null);
var mi = main.nw("TMenuItem", "mi", "item");
var lb = main.nw("TListBox", "lb", "");
var e = main.nw("TEdit", "e", "");
sys.out(b1.propType("Left") + " " + b1.propType("Caption") + " " + mi.propType("Caption"));
sys.out(b1.propType("OnClick") + " " + b1.propType("Font") + " " + main.propType("Visible"));
sys.out(font.propType("Style") + " " + lb.propType("Style") + " " + font.propType("Name") +
        " " + e.propType("Name"));
sys.out(b1.propAllValues("Visible") + " " + b1.propAllValues("Caption"));
sys.out(main.propAllValues("Align"));
sys.out(main.propAllValues("Position"));
sys.out(main.propAllValues("BorderStyle") == e.propAllValues("BorderStyle"));
sys.out(main.propType("BorderStyle") + " " + e.propType("BorderStyle"));
sys.out(b1.propAllValues("integer.Anything") + " " + b1.propAllValues("set.TFontStyles"));
tryIt(function () { b1.propAllValues("sort.TAlign"); });
tryIt(function () { b1.propAllValues("enumeration.TNoSuchType"); });
b1.propSet("Name", "renamed");
sys.out(b1.propGet("Name") + " " + sys.getObj("b1").propGet("Name") + " " + main.listChildren());
// Integer properties have no value names, whatever their range.
var mi2 = main.nw("TMenuItem", "mi2", "x");
sys.out([b1.propAllValues("Cursor"), b1.propAllValues("DragCursor"), b1.propAllValues("TabOrder"),
         mi2.propAllValues("ShortCut"), mi2.propAllValues("GroupIndex"),
         main.propAllValues("AlphaBlendValue"), font.propAllValues("Charset")].join(" "));
// A control's Constraints are read and written like any other object's properties.
var cons = main.propGet("Constraints");
sys.out(cons.classN() + " " + cons.listProp() + " " + cons.propType("MinWidth") + " " +
        cons.propAllValues("MaxWidth"));
cons.propSet("MinWidth", 400);
cons.propSet("MaxHeight", 150);
main.setBounds(0, 0, 100, 300);
sys.out(cons.propGet("MinWidth") + " " + main.propGet("Width") + "x" + main.propGet("Height"));
tryIt(function () { main.propSet("Constraints", cons); });

// A method read off a handle calls that handle wherever it is called from: handles of
// one class share their members, yet each has its own functions.
var move = b1.setBounds, other = memo.setBounds;
move(3, 4, 50, 20);
other(7, 8, 60, 30);
sys.out(b1.propGet("Left") + " " + memo.propGet("Left") + " " + (b1.SETBOUNDS !== move) +
        " " + (b1.setBounds === move) + " " + (move !== other));
