// String lists behind Lines, Items and Strings; bounds of controls.
function tryIt(f) {
  try { f(); sys.out("no failure"); } catch (e) { sys.out(e.message); }
}
var memo = main.nw("TMemo", "m1", "");
tryIt(function () { memo.add("x"); });
var lines = memo.propGet("Lines");
var before = lines.cnt();
lines.add("one");
sys.out(lines.cnt() - before);
lines.insert(0, "zero");
lines.add("two");
sys.out(lines.get(0) + " " + lines.get(lines.cnt() - 1));
lines.set(0, "nil");
sys.out(lines.get(0));
lines.clear();
sys.out(lines.cnt());
var lb = main.nw("TListBox", "lb", "");
var items = lb.propGet("Items");
items.add("b");
items.add("a");
lb.propSet("Sorted", true);
sys.out(items.get(0) + items.get(1) + " " + items.cnt());
var vle = main.nw("TValueListEditor", "v", "");
var strings = vle.propGet("Strings");
strings.add("key=value");
sys.out(strings.cnt() + " " + strings.get(0));
tryIt(function () { strings.get(strings.cnt()); });
tryIt(function () { strings.get(-1); });
tryIt(function () { strings.insert(5, "far"); });
var b = main.nw("TButton", "b", "");
b.setBounds(5, 6, 70, 30);
sys.out(b.propGet("Left") + "," + b.propGet("Top") + "," + b.propGet("Width") + "," +
        b.propGet("Height"));
tryIt(function () { b.propGet("Font").setBounds(0, 0, 1, 1); });
tryIt(function () { b.cnt(); });
b.fr();
tryIt(function () { b.setBounds(0, 0, 1, 1); });
tryIt(function () { b.add("x"); });
memo.fr();
tryIt(function () { lines.cnt(); });
// Empty lines are lines of a memo, at the end and on their own too.
var m2 = main.nw("TMemo", "m2", "");
var l2 = m2.propGet("Lines");
l2.add("first");
l2.add("");
l2.add("second");
sys.out(l2.cnt() + " [" + l2.get(1) + "]");
l2.clear();
l2.add("");
sys.out(l2.cnt());
l2.clear();
l2.add("a");
l2.add("b");
l2.set(1, "");
sys.out(l2.cnt() + " [" + l2.get(1) + "]");
l2.insert(l2.cnt(), "");
l2.insert(0, "");
sys.out(l2.cnt() + " " + JSON.stringify([l2.get(0), l2.get(1), l2.get(2), l2.get(3)]));
