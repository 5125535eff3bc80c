// What a script sees of sys: queries, digests, lookups and the messages of failed calls.
sys.out("path=" + sys.path());
sys.out(sys.md5("abc"));
sys.out(sys.MD5(""));
sys.out(sys.md5_file("data/abc.txt"));
sys.out(sys.self() === sys.self() ? "self stable" : "self changes");
sys.fileLog = "";
sys.out("fileLog=[" + sys.fileLog + "]");
sys.out(sys.listObj());
sys.out(sys.getObj("MAIN") === main ? "same handle" : "another handle");
sys.out(sys.listClassName().split(",").length + " classes");
sys.sleep(0);
sys.status("done");
try { sys.getObj("nope"); } catch (e) { sys.out(e.message); }
try { sys.sleep(-1); } catch (e) { sys.out(e.message); }
try { sys.log("", "x"); } catch (e) { sys.out(e.message); }
try { sys.md5_file("data/missing.txt"); } catch (e) { sys.out(e.message); }
sys.fileLog = "no/such/folder/x.log";
try { sys.out("never in the log"); } catch (e) { sys.fileLog = ""; sys.out(e.message); }
