// Costs of the handle registry and the component model at scale, timed from a script.
// Run: orvel --run handles.js --no-wait; every line is "<step> <ms>"; the last line
// prints the clock so a caller can time the Stop that follows.
function step(name, f) {
  var t = Date.now();
  f();
  sys.out(name + " " + (Date.now() - t));
}
var N = 100000;
var f = main.nw("TForm", "host", "");
var keep = [];
step("create_named_100k", function () {
  for (var i = 0; i < N; i++) keep.push(f.nw("TButton", "b" + i, ""));
});
step("getObj_100k", function () {
  for (var i = 0; i < N; i++) sys.getObj("b" + ((i * 7919) % N));
});
step("listObj", function () { sys.listObj(); });
var g = main.nw("TForm", "gen", "");
var gen = [];
step("create_generated_10k", function () {
  for (var i = 0; i < 10000; i++) gen.push(g.nw("TLabel", "", ""));
});
var lb = main.nw("TListBox", "lb", "");
lb.propSet("Sorted", true);
var items = lb.propGet("Items");
step("sorted_listbox_add_20k", function () {
  for (var i = 0; i < 20000; i++) items.add("item" + ((i * 7919) % 20000));
});
var v = main.nw("TValueListEditor", "v", "");
var strings = v.propGet("Strings");
step("valuelist_add_5k", function () {
  for (var i = 0; i < 5000; i++) strings.add("k" + i + "=v");
});
step("free_form_100k", function () { f.fr(); });
keep = null; gen = null;
sys.out("end_clock " + Date.now());
