#include "inc/two_lines.js
