#pragma once
// What every program with windows does right after creating its application object.

namespace pelvaro {

// Loads Qt's own Chinese translations, so that standard buttons read 确定 and 取消 like every
// other word of the program, and sets the numeric locale back to "C", which Qt changed to the
// user's: the program's number texts use "." whatever the locale. Returns whether the
// translations were found.
bool PrepareApplication();

}  // namespace pelvaro
