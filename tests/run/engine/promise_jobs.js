// Promise reactions run once the top-level code is done.
Promise.resolve("job").then(function (v) {
  sys.out("then " + v);
});
sys.out("top level");
