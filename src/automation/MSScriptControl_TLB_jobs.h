#pragma once
// Promise-job support of the script engine host, kept in a file of its own because
// it subclasses an engine class and must be compiled without RTTI.

struct JSContext;

// Lets queued promise jobs run in their own global; without it a job that fails
// outside any script call would stop the process.
void InstallJobEnvironment(JSContext* cx);
