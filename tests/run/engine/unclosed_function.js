sys.out("never runs");
function f() {
  var a = 1;
