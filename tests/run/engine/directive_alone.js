sys.out("never runs");
#include
sys.out(2);
