#pragma once
// Numbers as a script engine turns them into text: the shortest digits that read back to the
// same double, plain notation from 1e-6 up to below 1e21, exponent notation ("1e-7",
// "1.5e+21") outside it, "NaN", "Infinity", "-Infinity"; negative zero reads "0".

#include <string>

namespace pelvaro {

std::string JsNumberText(double value);

}  // namespace pelvaro
