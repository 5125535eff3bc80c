// The first script: press Run (F9), click the button, then Stop (Ctrl+F2).
// `main` is the run's own form: controls made through main.nw live on it.
#include <greeting.js>

sys.out(greeting("world"));

main.propSet("Caption", "Hello from Orvel");
main.setBounds(240, 200, 300, 120);

var b = main.nw("TButton", "b1", "Say hello");
b.setBounds(20, 20, 120, 28);
b.propSet("OnClick", "clicked('%1')");

function clicked(name) {
  sys.out(greeting(name));
  sys.status("clicked " + name);
}

main.propSet("Visible", true);
