// Fetches a page from a web server on this machine and shows its response headers.
//
// To try it:
//   1. In a terminal, in any folder with a few files:
//        python3 -m http.server 8000 --bind 127.0.0.1
//   2. Make this file the main file and press Run (F9).
//   3. Press "Fetch" to ask again; Stop (Ctrl+F2) closes the form.
// The address below can name any http:// page; a port after the host is honoured.

var url = "http://127.0.0.1:8000/";

var f = main.nw("TForm", "headersForm", "Headers of " + url);
// A form made on the hidden root form is a child window inside it; without a parent
// it is a window of its own.
f.propParent = null;
f.setBounds(200, 160, 560, 420);

var info = f.nw("TLabel", "info", "");
info.setBounds(12, 10, 420, 20);

var fetch = f.nw("TButton", "fetch", "Fetch");
fetch.setBounds(450, 6, 90, 28);
fetch.propSet("OnClick", "showHeaders()");

var list = f.nw("TValueListEditor", "headerList");
list.setBounds(12, 40, 528, 230);

var page = f.nw("TMemo", "pageText");
page.setBounds(12, 280, 528, 120);

function showHeaders() {
  var rows = list.propGet("Strings");
  rows.clear();
  page.propGet("Lines").clear();
  try {
    // One HEAD request: the status line and every header line, CR LF separated.
    var lines = inet.headers(url).split("\r\n");
    info.propSet("Caption", lines[0]);
    for (var i = 1; i < lines.length; i++) {
      var colon = lines[i].indexOf(":");
      if (colon > 0)
        rows.add(lines[i].substring(0, colon) + "=" + lines[i].substring(colon + 1).trim());
    }
    // header() asks once per URL and run, then answers from what it kept.
    sys.out("Content-Type: " + inet.header(url, "content-type"));
    sys.out("status: " + inet.queryInfo(url, 19));
    var text = inet.toString(url);
    page.propGet("Lines").add(text.substring(0, 2000));
  } catch (e) {
    info.propSet("Caption", "failed: " + e.message);
    sys.out("failed: " + e.message);
  }
}

showHeaders();
f.propSet("Visible", true);
