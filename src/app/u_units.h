#pragma once
// Start-up and end of the units a run needs, in the one order every program keeps:
// the program, its tests and its benchmarks call these instead of repeating the steps.

#include "Project1_TLB.h"

// Counted references to the objects of the active run.
extern IDispatchPtr SysIntf;
extern IDispatchPtr MainIntf;
extern IDispatchPtr InetIntf;

// Handles and their registry, sys, inet, then the engine. Call before the
// QApplication exists: the engine must start before the window toolkit.
void StartUnits();

// Drops the run's references to sys, main and inet; what nothing else holds dies now.
void ReleaseHostObjects();

// The reverse of StartUnits, after every run has stopped: the host objects, every
// handle that is left, the HTTP layer, and last the engine (its final collection).
void EndUnits();
