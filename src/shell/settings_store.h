#pragma once
// Remembers the values of a window's input controls between runs without knowing which
// controls exist: every edit box, check box and date box is stored under its own name in
// "data/setsoft.ini", one section per kind. Renaming a control loses its stored value. The
// window's placement ("窗口": "位置" as left,top,width,height and "最大化") and the column
// widths the user gave each list view ("列宽", by the list's name) are kept the same way.
//
// Every operation takes the window, the settings-file path (empty selects the default file and
// the resolved path is written back) and, for saves, a "|"-separated list of control names to
// skip; it returns the number of controls of its kind on the window, skipped ones included.
// A save rewrites the whole file through a temporary file, keeping every key it does not own.

#include <string>

#include "platform/form.h"
#include "platform/text.h"

namespace pelvaro {

class SettingsStore {
 public:
  // DataFolder()/setsoft.ini; creates the data folder when it is missing.
  static Text defaultPath();

  static int saveEditBoxes(Form& window, Text& path, const Text& excluded = {});
  static int loadEditBoxes(Form& window, Text& path);
  static int saveCheckBoxes(Form& window, Text& path, const Text& excluded = {});
  static int loadCheckBoxes(Form& window, Text& path);
  static int saveDateBoxes(Form& window, Text& path, const Text& excluded = {});
  static int loadDateBoxes(Form& window, Text& path);
  // Nothing is written for a window without a placement or a list the user never sized.
  static int saveWindowPlacement(Form& window, Text& path);
  static int loadWindowPlacement(Form& window, Text& path);
  static int saveColumnWidths(Form& window, Text& path, const Text& excluded = {});
  static int loadColumnWidths(Form& window, Text& path);

  // The shared catalogue's connection URI ("目录数据库": "地址", GBK like the rest of the
  // file), as UTF-8; empty when the file names none (the data folder's catalogue file is used).
  // Set by hand: the window has no box for it.
  static std::string sharedCatalogueUri(Text path = {});

  // The two call sets of the main window, on the default file; both include the placement and
  // the column widths.
  static void LoadOnCreate(Form& window);
  static void SaveOnClose(Form& window);

  // How an edit box's content is stored: CR LF (and a lone CR or LF) as "><br><", then every
  // double quote as "#引号"; and the way back.
  static Text escapeEditText(const Text& content);
  static Text unescapeEditText(const Text& stored);
};

}  // namespace pelvaro
