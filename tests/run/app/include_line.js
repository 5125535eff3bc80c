sys.out("before");
#include "inc/two_lines.js"
throw new Error("line three of the main file");
