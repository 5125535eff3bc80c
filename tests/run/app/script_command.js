#!/usr/bin/env -S orvel --run
// Runs as a command: the first line is for the shell and keeps its line number.
sys.out("ran as " + sys.path().replace(/^.*\//, ""));
missing();
