// Event texts that free their own sender, or the form that owns it, while the write
// that fired the event is still running; and OnDestroy, however a form goes.
function report(what, f) {
  try { f(); sys.out(what + ": done"); } catch (e) { sys.out(what + ": " + e.message); }
}
["set", "add", "insert", "clear"].forEach(function (op) {
  ["OnStringsChanging", "OnStringsChange"].forEach(function (ev) {
    var v = main.nw("TValueListEditor", "v_" + op + "_" + ev, "");
    var s = v.propGet("Strings");
    s.add("a=1");
    v.propSet(ev, "sys.getObj('%1').fr()");
    report(op + " " + ev, function () {
      if (op == "set") s.set(0, "b=2");
      if (op == "add") s.add("b=2");
      if (op == "insert") s.insert(0, "b=2");
      if (op == "clear") s.clear();
    });
    report("after", function () { v.classN(); });
  });
});
// A change handler that empties the list under the write: the write fails cleanly.
var vc = main.nw("TValueListEditor", "vClear", "");
var sc = vc.propGet("Strings");
sc.add("a=1");
var clearing = false;
vc.propSet("OnStringsChanging", "if (!clearing) { clearing = true; sc.clear(); }");
report("set while the handler clears", function () { sc.set(0, "b=2"); });
sys.out(sc.cnt());
// The owning form freed from a value list editor's change.
var host = main.nw("TForm", "host", "");
var hv = host.nw("TValueListEditor", "hv", "");
hv.propSet("OnStringsChanging", "sys.getObj('host').fr()");
var hs = hv.propGet("Strings");
report("owner freed by Strings.add", function () { hs.add("k=v"); });
report("after", function () { hv.classN(); });

function form(name, event, text) {
  var f = main.nw("TForm", name, "");
  f.propSet(event, text || "sys.getObj('%1').fr()");
  return f;
}
var f1 = form("fShow", "OnShow");
report("OnShow by Visible", function () { f1.propSet("Visible", true); });
var f2 = form("fHide", "OnHide");
f2.propSet("Visible", true);
report("OnHide by Visible", function () { f2.propSet("Visible", false); });
var f3 = form("fResize", "OnResize");
report("OnResize by setBounds", function () { f3.setBounds(10, 10, 500, 400); });
var f4 = form("fWidth", "OnResize");
report("OnResize by Width", function () { f4.propSet("Width", 333); });
var top = main.nw("TForm", "top", "");
var inner = top.nw("TForm", "inner", "");
inner.propSet("OnResize", "sys.getObj('top').fr()");
report("parent freed by a child's OnResize", function () { inner.setBounds(1, 1, 50, 50); });
report("after", function () { inner.classN(); });

// OnDestroy runs with "%1" replaced, whether fr() or the release of the handle ends it.
var d1 = form("dFr", "OnDestroy", "sys.out('destroyed %1')");
d1.fr();
var d2 = form("dOwner", "OnDestroy", "sys.out('destroyed %1')");
var d3 = d2.nw("TForm", "dChild", "");
d3.propSet("OnDestroy", "sys.out('destroyed %1 with its owner')");
d2.fr();
var d4 = form("dRelease", "OnDestroy", "sys.out('destroyed %1')");
d4 = null;
gc();
sys.out("end of script");
