#include "pictures.h"

namespace tellavo {

QString picturePath(int number)
{
    return QStringLiteral(":/pictures/%1.xpm").arg(number);
}

QString iconPath()
{
    return QStringLiteral(":/icon/tellavo.xpm");
}

}  // namespace tellavo
