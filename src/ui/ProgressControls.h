#pragma once
#include <QColor>

class QLabel;
class QProgressBar;
class QPushButton;

namespace torvinel::ui {

// The controls both progress windows are made of.

// A line for details such as "File: " and a path: long texts are cut at the window's edge
// instead of widening the fixed-size window.
QLabel* detailLine(const char* name);
// The centred message line in large type (pixelSize), wrapping long messages.
QLabel* messageLine(const char* name, int pixelSize, const QColor& colour);
// A smooth bar from 0 to 1000 starting at 0.
QProgressBar* progressBar(const char* name);
QPushButton* cancelButton();

} // namespace torvinel::ui
