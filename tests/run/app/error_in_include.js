#include "inc/two_lines.js"
#include "inc/faulty.js"
sys.out("three is " + three);
faulty();
