#include "message_boxes.h"

#include "texts.h"

#include <QMessageBox>

namespace tellavo::ui {

Module1::Boxes standardBoxes()
{
    Module1::Boxes boxes;
    boxes.welcome = [] { QMessageBox::information(nullptr, texts::kTitle, texts::kWelcome); };
    boxes.error = [](const QString& text) { QMessageBox::critical(nullptr, texts::kTitle, text); };
    return boxes;
}

}  // namespace tellavo::ui
