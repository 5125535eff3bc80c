// A small library file: scripts reach it with  #include <greeting.js>
function greeting(name) {
  return "Hello, " + name + "!";
}
