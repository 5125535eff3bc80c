#pragma once
// A fresh root handle per test, and calls that read like the script's own.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Project1_TLB.h"
#include "u_jobject.h"

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_ = CoJObject::Create();
    SetupMainObject(HandleOf(main_));
  }
  void TearDown() override {
    main_.reset();
    // Every handle a test made must have died with the references it dropped.
    EXPECT_EQ(ListObjectNames(), "");
  }

  static Variant Call(const IDispatchPtr& h, const char* member, std::vector<Variant> args = {}) {
    return h->Call(member, args);
  }
  static IDispatchPtr Nw(const IDispatchPtr& on, const std::string& cls,
                         const std::string& name = "", const std::string& caption = "") {
    return Call(on, "nw", {Variant(cls), Variant(name), Variant(caption)}).AsDispatch();
  }
  static std::string Str(const IDispatchPtr& h, const char* member,
                         std::vector<Variant> args = {}) {
    return Call(h, member, std::move(args)).ToString();
  }
  // Writes propParent; the failure's message, or empty.
  static std::string PutParent(const IDispatchPtr& h, Variant v) {
    TInvokeResult r = h->Invoke(JObjectDispId::propParent, DISPATCH_PROPERTYPUT, {std::move(v)});
    return r.Status == S_OK ? std::string() : r.Excep.Description;
  }
  // The message a failing member reports to the script.
  static std::string Failure(const IDispatchPtr& h, const char* member,
                             std::vector<Variant> args = {}) {
    try {
      h->Call(member, args);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "(no failure)";
  }
  static TObject* Obj(const IDispatchPtr& h) { return HandleOf(h)->Component(); }

  IDispatchPtr main_;
};
