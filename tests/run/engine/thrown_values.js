// A thrown value that is not an Error is reported at its throw statement.
sys.out("a");
  throw "plain text";
