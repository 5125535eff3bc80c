// Menu items built by script: a bar on the form, sub-items, shortcuts, radio groups.
var f = main.nw("TForm", "f", "F");
var before = f.propGet("ClientHeight");
var m = f.nw("TMenuItem", "mFile", "&File");
sys.out("bar takes room: " + (f.propGet("ClientHeight") < before));
var o = m.nw("TMenuItem", "", "&Open");
sys.out(o.propGet("Name") + " " + o.propGet("Caption") + " " + sys.listObj());
o.propSet("ShortCut", 0x4000 + 0x4F);
sys.out(o.propGet("ShortCut"));
var two = m.nw("TMenuItem", "two", "Two");
o.propSet("RadioItem", true);
two.propSet("RadioItem", true);
o.propSet("Checked", true);
two.propSet("Checked", true);
sys.out(o.propGet("Checked") + " " + two.propGet("Checked"));
o.propSet("OnClick", "sys.out('x')");
try { o.propSet("OnDrawItem", "x"); } catch (e) { sys.out(e.message); }
try { o.propSet("ShortCut", 70000); } catch (e) { sys.out(e.message); }
m.propSet("Visible", false);
sys.out("bar gone: " + (f.propGet("ClientHeight") == before));
f.fr();
try { o.propGet("Caption"); } catch (e) { sys.out(e.message); }
