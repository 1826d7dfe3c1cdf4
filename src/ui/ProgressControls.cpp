#include "ui/ProgressControls.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace torvinel::ui {

QLabel* detailLine(const char* name)
{
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* messageLine(const char* name, int pixelSize, const QColor& colour)
{
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    // Room for two lines, so the window keeps its layout when a message arrives.
    label->setMinimumHeight(QFontMetrics(font).lineSpacing() * 2 + 4);
    return label;
}

QProgressBar* progressBar(const char* name)
{
    auto* bar = new QProgressBar;
    bar->setObjectName(name);
    bar->setRange(0, 1000);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QPushButton* cancelButton()
{
    auto* button = new QPushButton("Cancel");
    button->setObjectName("bCancel");
    button->setAutoDefault(false);
    return button;
}

} // namespace torvinel::ui
