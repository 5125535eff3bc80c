sys.out("before");
sys.getObj("ghost");
sys.out("never");
