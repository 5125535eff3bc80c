// The first script: press Run (F9), click the button, then Stop (Ctrl+F2).
#include <greeting.js>

sys.out(greeting("world"));

var f = main.nw("TForm", "helloForm", "Hello from Orvel");
f.setBounds(240, 200, 300, 120);

var b = f.nw("TButton", "b1", "Say hello");
b.setBounds(20, 20, 120, 28);
b.propSet("OnClick", "clicked('%1')");

function clicked(name) {
  sys.out(greeting(name));
  sys.status("clicked " + name);
}

f.propSet("Visible", true);
