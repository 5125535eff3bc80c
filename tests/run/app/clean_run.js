// Log lines in order, nothing else; exit status 0.
#include "inc/two_lines.js"
sys.out("one");
sys.out("two " + two);
sys.out("");
sys.out("path " + sys.path());
