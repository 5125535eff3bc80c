sys.out("never runs");
#foo
