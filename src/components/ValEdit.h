#pragma once

// The grid family and the value list editor: a two-column grid of name=value lines.

#include <memory>
#include <string>

#include "Controls.h"

class QTableWidget;
class TValueListStrings;

enum TGridOption {
  goFixedVertLine,
  goFixedHorzLine,
  goVertLine,
  goHorzLine,
  goRangeSelect,
  goDrawFocusSelected,
  goRowSizing,
  goColSizing,
  goRowMoving,
  goColMoving,
  goEditing,
  goTabs,
  goRowSelect,
  goAlwaysShowEditor,
  goThumbTracking
};
using TGridOptions = uint16_t;  // bit (1 << TGridOption)
enum TDisplayOption { doColumnTitles, doAutoColResize, doKeyColFixed };
using TDisplayOptions = uint8_t;
enum TKeyOption { keyEdit, keyAdd, keyDelete, keyUnique };
using TKeyOptions = uint8_t;

class TCustomGrid : public TCustomControl {
  ORVEL_DECLARE_CLASS(TCustomGrid)
 public:
  explicit TCustomGrid(TComponent* AOwner);

 protected:
  TCustomGrid(TComponent* AOwner, QWidget* widget);
};

class TCustomDrawGrid : public TCustomGrid {
  ORVEL_DECLARE_CLASS(TCustomDrawGrid)
 public:
  explicit TCustomDrawGrid(TComponent* AOwner);

 protected:
  TCustomDrawGrid(TComponent* AOwner, QWidget* widget);
};

struct TValueListPrivate;

// Strings holds one "name=value" line per grid row; TitleCaptions the two column
// titles. Both are live: editing a cell changes Strings, changing a list changes the
// grid. OnStringsChanging/OnStringsChange bracket every change of Strings.
class TValueListEditor final : public TCustomDrawGrid {
  ORVEL_DECLARE_CLASS(TValueListEditor)
 public:
  explicit TValueListEditor(TComponent* AOwner);
  ~TValueListEditor() override;

  TStrings* Strings() const;
  TStrings* TitleCaptions() const;
  TGridOptions Options() const { return FOptions; }
  void SetOptions(TGridOptions v);
  TDisplayOptions DisplayOptions() const { return FDisplayOptions; }
  void SetDisplayOptions(TDisplayOptions v);
  TKeyOptions KeyOptions() const { return FKeyOptions; }
  void SetKeyOptions(TKeyOptions v);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle v);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle v);
  int DefaultColWidth() const { return FDefaultColWidth; }
  void SetDefaultColWidth(int v);
  int DefaultRowHeight() const { return FDefaultRowHeight; }
  void SetDefaultRowHeight(int v);
  int GridLineWidth() const { return FGridLineWidth; }
  void SetGridLineWidth(int v);
  TColor FixedColor() const { return FFixedColor; }
  void SetFixedColor(TColor v);

  // Adds a row at the end for the user to fill in (keyAdd); refused without it.
  void InsertRowForUser();
  // Deletes the current row (keyDelete).
  void DeleteCurrentRow();

  QTableWidget* GridWidget() const;

 protected:
  void Resized() override;
  void ColorChanged() override;
  bool KeyHook(QKeyEvent* e) override;

 private:
  friend struct TValueListPrivate;
  friend class TValueListStrings;
  void RefreshRows();
  // The grid's row for one line of Strings.
  void SetRow(int row);
  void RefreshTitles();
  void ApplyOptions();
  void ApplyColumnWidths();
  std::unique_ptr<TValueListPrivate> v;
  TGridOptions FOptions;
  TDisplayOptions FDisplayOptions;
  TKeyOptions FKeyOptions = 0;
  TScrollStyle FScrollBars = ssBoth;
  TBorderStyle FBorderStyle = bsSingle;
  int FDefaultColWidth = 150;
  int FDefaultRowHeight = 18;
  int FGridLineWidth = 1;
  TColor FFixedColor = clBtnFace;
};
