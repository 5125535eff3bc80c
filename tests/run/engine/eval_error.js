// A syntax error in code given to eval is placed at the eval call.
sys.out("start");
var code = "1 +\n* 2";
  eval(code);
