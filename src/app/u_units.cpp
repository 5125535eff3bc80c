#include "u_units.h"

#include "MSScriptControl_TLB.h"
#include "u_SupScript.h"
#include "u_inet.h"
#include "u_jobject.h"

IDispatchPtr SysIntf;
IDispatchPtr MainIntf;
IDispatchPtr InetIntf;

void StartUnits() {
  InitJObjectUnit();
  InitSupScriptUnit();
  InitInetUnit();
  InitScriptEngine();
}

void ReleaseHostObjects() {
  SysIntf.reset();
  MainIntf.reset();
  InetIntf.reset();
}

void EndUnits() {
  ReleaseHostObjects();
  FinalizeJObjectUnit();
  ShutdownInetTools();
  ShutdownScriptEngine();
}
