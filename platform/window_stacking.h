#pragma once

class QWidget;

namespace tellavo::stacking {

// Puts a shown top-level window above all other windows, or back among them,
// without hiding, moving or resizing it. After a window is created this is the
// only code that changes its flags: QWidget::setWindowFlags() would re-create
// (and hide) a visible window, and QWindow::setFlags() alone would leave
// QWidget::windowFlags() stale for the next caller.
void setAbove(QWidget* window, bool above);

bool isAbove(const QWidget* window);

}  // namespace tellavo::stacking
