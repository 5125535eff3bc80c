// A value that is no handle but an object of the script's own is refused as a parent
// and changes nothing; null and strings still take the control out of its window.
var f = main.nw("TForm", "f", "F");
var b = f.nw("TButton", "b", "B");
var others = [{}, [1, 2], function () {}, new Date(0)];
for (var i = 0; i < others.length; i++) {
  try {
    b.propParent = others[i];
    sys.out("accepted");
  } catch (e) {
    sys.out(e.message);
  }
}
sys.out(b.propParent.classN());
sys.out(b.propParent.self() == f.self());
b.propParent = null;
sys.out(b.propParent === null);
b.propParent = f;
b.propParent = "none";
sys.out(b.propParent === null);
sys.out("text " + sys.md5({}) + " " + sys.md5("[object Object]"));
