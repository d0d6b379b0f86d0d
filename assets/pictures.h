#pragma once

#include <QString>

namespace tellavo {

// Resource path of status picture `number` (1..25), such as ":/pictures/7.xpm".
QString picturePath(int number);

// Resource path of the window icon.
QString iconPath();

}  // namespace tellavo
