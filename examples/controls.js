// One of each control a script can create, with a menu bar. Run it, try the menu
// (Ctrl+O, Ctrl+Q) and the controls, then close the window.

var f = main.nw("TForm", "controls", "Orvel controls");
f.propParent = null;                 // a window of its own
f.setBounds(200, 160, 520, 360);

// Menu items owned by the form stand in its menu bar; items owned by an item
// stand in that item's drop-down. ShortCut: key code + 0x4000 for Ctrl.
var mFile = f.nw("TMenuItem", "mFile", "&File");
var mOpen = mFile.nw("TMenuItem", "mOpen", "&Open...");
mOpen.propSet("ShortCut", 0x4000 + 0x4F);          // Ctrl+O
mOpen.propSet("OnClick", "sys.out('open chosen')");
mFile.nw("TMenuItem", "mSep", "-");
var mQuit = mFile.nw("TMenuItem", "mQuit", "&Quit");
mQuit.propSet("ShortCut", 0x4000 + 0x51);          // Ctrl+Q
mQuit.propSet("OnClick", "f.propSet('Visible', false)");
var mView = f.nw("TMenuItem", "mView", "&View");
var mWrap = mView.nw("TMenuItem", "mWrap", "&Word wrap");
mWrap.propSet("AutoCheck", true);
mWrap.propSet("Checked", true);
mWrap.propSet("OnClick", "memo.propSet('WordWrap', mWrap.propGet('Checked'))");

var l = f.nw("TLabel", "l1", "&Name:");
l.setBounds(12, 14, 50, 20);
var e = f.nw("TEdit", "e1", "");
e.setBounds(70, 10, 170, 24);
e.propSet("Text", "Orvel");
e.propSet("OnChange", "sys.status('name: ' + e.propGet('Text'))");

var c = f.nw("TCheckBox", "c1", "Keep log file");
c.setBounds(12, 44, 228, 20);
c.propSet("Checked", true);

var memo = f.nw("TMemo", "memo", "");
memo.setBounds(12, 72, 228, 100);
memo.propGet("Lines").add("A memo with");
memo.propGet("Lines").add("two lines");

var list = f.nw("TListBox", "list", "");
list.setBounds(12, 180, 228, 100);
var items = list.propGet("Items");
["TButton", "TLabel", "TEdit", "TMemo"].forEach(function (s) { items.add(s); });

var grid = f.nw("TValueListEditor", "grid", "");
grid.setBounds(252, 10, 256, 270);
grid.propSet("Anchors", "akLeft,akTop,akRight,akBottom");
var rows = grid.propGet("Strings");
rows.add("host=localhost");
rows.add("port=80");
rows.add("agent=Orvel");

var ok = f.nw("TButton", "ok", "OK");
ok.setBounds(12, 290, 90, 28);
ok.propSet("Default", true);
ok.propSet("OnClick", "sys.out('name is ' + e.propGet('Text'))");
var cancel = f.nw("TButton", "cancel", "Cancel");
cancel.setBounds(110, 290, 90, 28);
cancel.propSet("Cancel", true);
cancel.propSet("OnClick", "f.propSet('Visible', false)");

f.propSet("Visible", true);
