#pragma once
// The images of the start-up window's picture buttons, drawn by the program itself.

#include <QIcon>
#include <string_view>

namespace pelvaro {

// A square icon for the picture button of that name (UTF-8); a neutral mark for other names.
QIcon ButtonIcon(std::string_view buttonName, int size);

}  // namespace pelvaro
