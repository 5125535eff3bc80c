sys.out("never runs");
#include "inc/not_there.js"
