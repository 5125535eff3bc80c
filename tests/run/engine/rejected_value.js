// A rejection with a plain value is placed at the call that rejected the promise.
sys.out("a");
  Promise.reject("plain text");
