#include <gtest/gtest.h>

#include <clocale>

#include "Project1_TLB.h"

namespace {

HRESULT Change(const Variant& v, VarType to, Variant& out) {
  return v.ChangeType(to, out);
}

}  // namespace

// Empty is the neutral value of every simple type; null converts to nothing, so a
// script that passes null where a string is due gets a type mismatch, not "".
TEST(VariantConversion, EmptyAndNull) {
  Variant out;
  EXPECT_EQ(Variant().ToInt32(), 0);
  EXPECT_EQ(Variant().ToDouble(), 0.0);
  EXPECT_EQ(Variant().ToString(), "");
  EXPECT_FALSE(Variant().ToBool());
  for (VarType t : {VarType::I4, VarType::UI4, VarType::R8, VarType::BStr, VarType::Bool})
    EXPECT_EQ(Change(Variant::Null(), t, out), DISP_E_TYPEMISMATCH) << VarTypeName(t);
  EXPECT_EQ(Change(Variant::Null(), VarType::Variant, out), S_OK);
  EXPECT_TRUE(out.IsNull());
}

// Booleans are -1/0 as numbers and "True"/"False" as text, both ways.
TEST(VariantConversion, Booleans) {
  EXPECT_EQ(Variant(true).ToInt32(), -1);
  EXPECT_EQ(Variant(true).ToDouble(), -1.0);
  EXPECT_EQ(Variant(true).ToUInt32(), 0xFFFFFFFFu);
  EXPECT_EQ(Variant(true).ToString(), "True");
  EXPECT_EQ(Variant(false).ToString(), "False");
  EXPECT_TRUE(Variant("true").ToBool());
  EXPECT_FALSE(Variant(" FALSE ").ToBool());
  EXPECT_TRUE(Variant("2").ToBool());
  EXPECT_FALSE(Variant("0").ToBool());
  EXPECT_TRUE(Variant(0.25).ToBool());
  Variant out;
  EXPECT_EQ(Change(Variant("yes"), VarType::Bool, out), DISP_E_TYPEMISMATCH);
}

// Doubles round half to even on the way to integers; what does not fit overflows
// rather than wrapping.
TEST(VariantConversion, DoubleToIntegerRoundsHalfToEvenAndChecksRange) {
  EXPECT_EQ(Variant(2.5).ToInt32(), 2);
  EXPECT_EQ(Variant(3.5).ToInt32(), 4);
  EXPECT_EQ(Variant(-2.5).ToInt32(), -2);
  EXPECT_EQ(Variant(-3.5).ToInt32(), -4);
  EXPECT_EQ(Variant(2.4999).ToInt32(), 2);
  EXPECT_EQ(Variant(-0.6).ToInt32(), -1);
  EXPECT_EQ(Variant(2147483647.4).ToInt32(), 2147483647);
  EXPECT_EQ(Variant(-2147483648.5).ToInt32(), INT32_MIN);
  Variant out;
  EXPECT_EQ(Change(Variant(2147483647.5), VarType::I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Variant(1e300), VarType::I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Variant(0.0 / 0.0), VarType::I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Variant(-1), VarType::UI4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Variant(-0.4), VarType::UI4, out), S_OK);
  EXPECT_EQ(out.AsUI4(), 0u);
  EXPECT_EQ(Variant(4294967295.0).ToUInt32(), 4294967295u);
  EXPECT_EQ(Change(Variant::FromUI4(0x80000000u), VarType::I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Variant("4294967296"), VarType::UI4, out), DISP_E_OVERFLOW);
  // A failed conversion leaves the target as it was.
  out = Variant("kept");
  EXPECT_EQ(Change(Variant(1e20), VarType::I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(out, Variant("kept"));
}

// Numbers read from and written as text with "." whatever the locale says.
TEST(VariantConversion, NumbersAndStrings) {
  EXPECT_EQ(Variant(" 42 ").ToInt32(), 42);
  EXPECT_EQ(Variant("-7").ToInt32(), -7);
  EXPECT_EQ(Variant("2.5").ToInt32(), 2);
  EXPECT_EQ(Variant("1e3").ToDouble(), 1000.0);
  EXPECT_EQ(Variant(".5").ToDouble(), 0.5);
  EXPECT_EQ(Variant("&HFF").ToInt32(), 255);
  EXPECT_EQ(Variant("&HFFFFFFFF").ToInt32(), -1);
  EXPECT_EQ(Variant(12).ToString(), "12");
  EXPECT_EQ(Variant::FromUI4(4000000000u).ToString(), "4000000000");
  EXPECT_EQ(Variant(0.1).ToString(), "0.1");
  EXPECT_EQ(Variant(1.0 / 3.0).ToString(), "0.333333333333333");
  EXPECT_EQ(Variant(-1.5).ToString(), "-1.5");
  EXPECT_EQ(Variant(1e20).ToString(), "1E+20");
  EXPECT_EQ(Variant(123456789012345.0).ToString(), "123456789012345");
  Variant out;
  for (const char* bad : {"", "  ", "abc", "12abc", "1.2.3", "1e", "&H", "&HXY", "--1"})
    EXPECT_EQ(Change(Variant(bad), VarType::I4, out), DISP_E_TYPEMISMATCH) << '"' << bad << '"';
  EXPECT_EQ(Change(Variant("1e400"), VarType::R8, out), DISP_E_OVERFLOW);

  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
    EXPECT_EQ(Variant(0.5).ToString(), "0.5");
    EXPECT_EQ(Variant("0.5").ToDouble(), 0.5);
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

// Object references have no value to convert; ConvertTo reports with the status's
// own words.
TEST(VariantConversion, DispatchIsATypeMismatchAndErrorsCarryTheirText) {
  Variant out;
  EXPECT_EQ(Change(Variant(IDispatchPtr()), VarType::BStr, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(Variant(IDispatchPtr()), VarType::I4, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(Variant(5), VarType::Dispatch, out), DISP_E_TYPEMISMATCH);
  try {
    Variant("x").ToInt32();
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, DISP_E_TYPEMISMATCH);
    EXPECT_STREQ(e.what(), "Type mismatch.");
  }
  EXPECT_EQ(StatusMessage(DISP_E_BADPARAMCOUNT), "Invalid number of parameters.");
  EXPECT_EQ(StatusMessage(DISP_E_UNKNOWNNAME), "Unknown name.");
  EXPECT_EQ(StatusMessage(DISP_E_OVERFLOW), "Out of present range.");
}
