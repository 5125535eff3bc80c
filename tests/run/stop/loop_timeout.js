// --timeout ends a runaway loop where it is; neither catch nor finally runs.
sys.out("start");
var i = 0;
try {
  while (true) { i++; }
} catch (e) {
  sys.out("caught " + e);
} finally {
  sys.out("finally ran");
}
sys.out("after");
