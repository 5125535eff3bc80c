// A syntax error stops the whole text before any of it runs; the column is 1-based.
sys.out("not printed");
var x = 1 +* 2;
