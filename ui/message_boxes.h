#pragma once

#include "module1.h"

namespace tellavo::ui {

// The welcome and error boxes start-up and saving show: modal, titled with
// the program's name.
Module1::Boxes standardBoxes();

}  // namespace tellavo::ui
