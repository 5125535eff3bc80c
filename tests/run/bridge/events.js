// Event texts: "%1" everywhere, re-binding, refused types, an error inside an event.
var hits = [];
function clicked(name) { hits.push(name); }
var cb = main.nw("TCheckBox", "cb", "check");
cb.propSet("OnClick", "clicked('%1'); clicked('%1' + '%1')");
cb.propSet("Checked", true);
sys.out(hits.join(" "));
cb.propSet("OnClick", "clicked('plain %')");
cb.propSet("Checked", false);
sys.out(hits.join(" ") + " | " + cb.propGet("OnClick"));
try { cb.propSet("OnKeyPress", "clicked('key')"); } catch (e) { sys.out(e.message); }
sys.out("[" + cb.propGet("OnKeyPress") + "]");
var ed = main.nw("TEdit", "ed", "");
ed.propSet("OnChange", "sys.out('changed ' + sys.getObj('%1').propGet('Text'))");
ed.propSet("Text", "abc");
cb.propSet("OnClick", "nosuchfunction('%1')");
cb.propSet("Checked", true);
sys.out("still running");
cb.propSet("OnClick", "clicked('again')");
cb.propSet("Checked", false);
sys.out(hits.join(" "));
