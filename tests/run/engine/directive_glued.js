sys.out("never runs");
#include"inc/unclosed_comment.js"
