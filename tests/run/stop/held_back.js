// An event of the script's own window that comes while a statement sleeps (its first
// paint, handled during the sleep) runs after the statement, not in the middle of it.
main.propSet("OnPaint", "sys.out('painted'); main.propSet('OnPaint', ''); main.propSet('Visible', false)");
main.propSet("Visible", true);
sys.out("sleeping");
sys.sleep(500);
sys.out("awake");
