// Compiled with -fno-rtti: the engine library is built without RTTI, and a subclass
// of one of its classes needs the same.

#include "MSScriptControl_TLB_jobs.h"

#include <jsapi.h>
#include <jsfriendapi.h>

namespace {

class TJobEnvironment final : public js::ScriptEnvironmentPreparer {
 public:
  explicit TJobEnvironment(JSContext* cx) : cx_(cx) {}

  void invoke(JS::HandleObject global, Closure& closure) override {
    JSAutoRealm realm(cx_, global);
    // A job's exception has no script call left to reach: it ends here.
    if (!closure(cx_) && JS_IsExceptionPending(cx_)) JS_ClearPendingException(cx_);
  }

 private:
  JSContext* cx_;
};

}  // namespace

void InstallJobEnvironment(JSContext* cx) {
  // Lives as long as the process: the context keeps a plain pointer to it.
  static TJobEnvironment* environment = nullptr;
  delete environment;
  environment = new TJobEnvironment(cx);
  js::SetScriptEnvironmentPreparer(cx, environment);
}
