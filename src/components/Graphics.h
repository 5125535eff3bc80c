#pragma once

// Colours and fonts. No Qt here.

#include <cstdint>
#include <string>

#include "Classes.h"

// 0x00BBGGRR, or a system colour: the high bit set and the colour index below.
using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor SystemColor(int index) {
  return static_cast<TColor>(0x80000000u | index);
}
constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clActiveCaption = SystemColor(2);
constexpr TColor clInactiveCaption = SystemColor(3);
constexpr TColor clMenu = SystemColor(4);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowFrame = SystemColor(6);
constexpr TColor clMenuText = SystemColor(7);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

// The RGB value a colour shows as: system colours through the toolkit's palette.
uint32_t ColorToRGB(TColor color);  // 0x00BBGGRR

enum TFontPitch { fpDefault, fpVariable, fpFixed };
enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = uint8_t;  // bit (1 << TFontStyle)

class TGraphicsObject : public TPersistent {
  ORVEL_DECLARE_CLASS(TGraphicsObject)
 public:
  TGraphicsObject() = default;
  TNotifyEvent OnChange;  // the owner of the object re-applies it

 protected:
  void Changed();
};

// A font. Size in points, Height in pixels (negative: character height without the
// internal leading, at 96 pixels per inch); setting one sets the other.
class TFont : public TGraphicsObject {
  ORVEL_DECLARE_CLASS(TFont)
 public:
  TFont();  // the toolkit's default font, colour clWindowText
  void Assign(const TPersistent& source) override;

  int Charset() const { return FCharset; }
  void SetCharset(int v);
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  int Height() const;
  void SetHeight(int v);
  const std::string& Name() const { return FName; }
  void SetName(const std::string& v);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch v);
  int Size() const { return FSize; }
  void SetSize(int v);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles v);

 private:
  int FCharset = 1;  // DEFAULT_CHARSET
  TColor FColor = clWindowText;
  std::string FName;
  TFontPitch FPitch = fpDefault;
  int FSize = 8;
  TFontStyles FStyle = 0;
};
