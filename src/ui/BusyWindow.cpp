#include "ui/BusyWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace torvinel::ui {

// A small turning arc: the toolkit has no stock "searching" animation.
class BusyAnimation : public QWidget {
public:
    explicit BusyAnimation(QWidget* parent) : QWidget(parent), m_timer(new QTimer(this))
    {
        setObjectName("Animate");
        setFixedSize(16, 16);
        m_timer->setInterval(80);
        connect(m_timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 30) % 360;
            update();
        });
    }
    void start() { m_timer->start(); }
    void stop() { m_timer->stop(); }
    bool running() const { return m_timer->isActive(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(palette().color(QPalette::Highlight), 2.5);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.drawArc(QRectF(2, 2, 12, 12), -m_angle * 16, 270 * 16);
    }

private:
    QTimer* m_timer;
    int m_angle = 0;
};

BusyWindow::BusyWindow(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint)
{
    setObjectName("TfrmOperationProgress");
    setModal(false);
    m_animate = new BusyAnimation(this);
    m_info = new QLabel(this);
    m_info->setObjectName("lblInfo");
    m_info->setTextFormat(Qt::PlainText);
    m_cancel = new QPushButton("Cancel", this);
    m_cancel->setObjectName("btnCancel");
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (OnCancel)
            OnCancel(*this);
    });
    resize(442, 60);
    layoutControls();
}

QWidget* BusyWindow::animation() const { return m_animate; }

bool BusyWindow::animating() const { return m_animate->running(); }

void BusyWindow::setCancelVisible(bool visible) { m_cancel->setVisible(visible); }

void BusyWindow::layoutControls()
{
    // Anchors: the label keeps its 5-pixel right margin, the button its place at the right.
    m_animate->move(4, m_animate->y() == 0 ? 6 : m_animate->y());
    const int infoTop = m_info->y() == 0 ? 8 : m_info->y();
    m_info->setGeometry(28, infoTop, std::max(0, width() - 28 - 5), m_info->sizeHint().height());
    m_cancel->setGeometry(width() - 80, 30, 75, 23);
}

void BusyWindow::centreControls()
{
    // Integer division truncates toward zero, as the window's own arithmetic did.
    m_animate->move(m_animate->x(), (height() - m_animate->height() - 4) / 2);
    m_info->move(m_info->x(), (height() - m_info->height() - 4) / 2);
}

void BusyWindow::showEvent(QShowEvent* event)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect whole = screen->geometry();
        move((whole.width() - width()) / 2, (whole.height() - height()) / 2);
    }
    m_animate->start();
    m_stayInFront = true;
    m_info->clear();
    layoutControls();
    centreControls();
    QDialog::showEvent(event);
}

void BusyWindow::hideEvent(QHideEvent* event)
{
    m_animate->stop();
    m_stayInFront = false;
    QDialog::hideEvent(event);
}

void BusyWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    layoutControls();
}

void BusyWindow::changeEvent(QEvent* event)
{
    // Losing the focus while busy: back to the front, so the search is not lost behind.
    if (event->type() == QEvent::ActivationChange && m_stayInFront && !isActiveWindow())
        QTimer::singleShot(0, this, [this] {
            if (m_stayInFront)
                raise();
        });
    QDialog::changeEvent(event);
}

} // namespace torvinel::ui
