// Member names resolve in any letter case, on the objects and as global names;
// a failing member is an Error the script catches, its message the member's own.
sys.OUT("upper case member");
Out("global member");
sys.out(typeof sys.Md5 + " " + typeof md5);
sys.out(String(sys.path() === PATH()));
try {
  sys.sleep(-5);
} catch (e) {
  sys.out((e instanceof Error) + ": " + e.description);
}
try {
  sys.sleep();
} catch (e) {
  sys.out(e.message);
}
function out(text) {
  sys.out("own out: " + text);
}
out("scripts may reuse a member's name");
