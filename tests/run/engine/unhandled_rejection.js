// A promise rejection that no code handles is reported where its Error was made.
sys.out("start");
async function load() {
  var data = 1;
    throw new Error("boom");
}
load();
sys.out("top level done");
