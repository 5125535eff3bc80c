// A character with no byte form (a lone surrogate) is hashed as one "?" byte, as the
// host's text conversion gives it; a surrogate pair is one character of four bytes.
sys.out(String(sys.md5("a\uD800b") === sys.md5("a?b")));
sys.out(String(sys.md5("\uDC00\uD83D") === sys.md5("??")));
sys.out(sys.md5("a?b"));
sys.out(String(sys.md5("\uD83D\uDE00") === sys.md5("??")));
sys.out(sys.md5("\uD83D\uDE00"));
