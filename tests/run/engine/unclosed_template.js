var s = `a template
sys.out(s);
