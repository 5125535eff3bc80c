sys.out("a");
if (true) { throw [1, 2]; }
