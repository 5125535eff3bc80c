// An error the script catches itself is not reported.
try {
  sys.sleep(-1);
} catch (e) {
  sys.out("caught");
}
sys.out("goes on");
