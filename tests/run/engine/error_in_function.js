// An error inside a function is placed on the function's own line.
function fail() {
  var a = 1;
    null.x;
}
sys.out("before");
fail();
sys.out("not reached");
