// A member name the interface lacks fails at once, for reads and writes alike, on
// every host object; so does assigning a method. Nothing is added or replaced.
function attempt(what, action) {
  try {
    action();
    sys.out(what + ": no error");
  } catch (e) {
    sys.out(what + ": " + e.message);
  }
}
attempt("read", function () { return sys.nosuch; });
attempt("typeof", function () { return typeof sys.fileLogg; });
attempt("write", function () { sys.fileLogg = "x.log"; });
attempt("method write", function () { sys.md5 = "x"; });
attempt("call", function () { main.nosuchMethod(1); });
attempt("handle write", function () { main.Caption = "x"; });
attempt("inet read", function () { return inet.body; });
attempt("index", function () { return sys[0]; });
sys.out(sys.fileLog === "" ? "fileLog untouched" : "fileLog changed");
sys.out(sys.md5("abc"));
sys.out(String(Object.keys(sys).indexOf("fileLogg") < 0));

// What the engine itself asks of an object keeps working.
sys.out(String(sys).slice(0, 7) + " " + `${main}`.slice(0, 7) + " " + (main + "").slice(0, 7));
sys.out(JSON.stringify({ handle: main, n: 1 }));
sys.out(String(sys.hasOwnProperty("nosuch")) + " " + String(main.constructor === Object));
sys.fileLog = "";
sys.FILELOG = "";
async function handleOf() { return main; }
handleOf().then(function (h) { sys.out("async gave main: " + String(h === main)); });
(async function () { var h = await main; sys.out("awaited main: " + String(h === main)); })();
Promise.resolve(inet).then(function (h) { sys.out("resolved inet: " + String(h === inet)); });
