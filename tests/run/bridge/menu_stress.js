// Menu items built, nested, moved out of view and destroyed in every order, with a
// forced collection between rounds (gc() exists when ORVEL_TEST_GC is set).
var made = 0;
for (var round = 0; round < 60; round++) {
  var f = main.nw("TForm", "", "");
  f.setBounds(0, 0, 200, 150);
  var top = f.nw("TMenuItem", "", "&Top" + round);
  var items = [];
  for (var i = 0; i < 12; i++) {
    var owner = i % 3 == 0 ? top : (items.length ? items[items.length - 1] : top);
    var it = owner.nw("TMenuItem", "", "Item " + i);
    it.propSet("ShortCut", 0x4000 + 0x41 + (i % 26));
    it.propSet("RadioItem", i % 2 == 0);
    it.propSet("Checked", i % 4 == 0);
    it.propSet("OnClick", "sys.getObj('%1')");
    items.push(it);
    made++;
  }
  // A control far outside the form gives it scroll bars.
  f.nw("TButton", "", "far").setBounds(500, 400, 75, 25);
  if (round % 3 == 0) items[5].fr();        // an inner item with sub-items goes first
  if (round % 3 == 1) top.fr();              // the whole menu goes, the form stays
  if (round % 2 == 0) f.fr();                // the form takes the rest with it
  if (round % 2 == 1 && round % 5 == 0) f.propSet("Visible", true);  // shown, then dropped
  items = null;
  top = null;
  f = null;
  if (typeof gc == "function") gc();
}
sys.out("items made: " + made);
sys.out("done");
