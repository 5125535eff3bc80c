// A long sleep ends early when the time limit stops the statement, at the sleep's call.
function pause() {
  sys.sleep(60000);
}
sys.out("before");
pause();
sys.out("after");
