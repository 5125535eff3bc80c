sys.out("never runs");
	var bad = ;
