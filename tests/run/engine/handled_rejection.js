// Rejections that the script handles later, or awaits, are not errors.
var p = Promise.reject(new Error("first"));
sys.out("top level");
p.catch(function (e) {
  sys.out("caught " + e.message);
});
async function run() {
  try {
    await Promise.reject(new Error("second"));
  } catch (e) {
    sys.out("awaited " + e.message);
  }
}
run();
