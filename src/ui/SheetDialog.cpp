#include "SheetDialog.h"

#include "platform/WindowCompositing.h"

#include <QEvent>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QGuiApplication>

namespace {
const int shadowMargin = 24;
const int cornerRadius = 8;
} // namespace

SheetDialog::SheetDialog(QWidget *parent)
    : QDialog(parent, Qt::Sheet | Qt::FramelessWindowHint)
    , m_panel(new QFrame(this))
{
    const bool composited = windowsAreComposited(QGuiApplication::platformName());
    m_margin = composited ? shadowMargin : 0;
    // Square corners on an opaque window: rounded ones would leave its background showing.
    const int radius = composited ? cornerRadius : 0;
    m_panel->setObjectName(QStringLiteral("sheetPanel"));
    m_panel->setStyleSheet(QStringLiteral("QFrame#sheetPanel { background: white; border: 1px solid #c4c9cf;"
                                          " border-radius: %1px; }")
                               .arg(radius));

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(m_margin, m_margin, m_margin, m_margin);
    if (composited) {
        setAttribute(Qt::WA_TranslucentBackground);
        // The shadow is cast by a plain card under the panel, so typing in the panel's fields
        // never has to blur the shadow again.
        auto *caster = new QFrame(this);
        caster->setObjectName(QStringLiteral("sheetShadow"));
        caster->setStyleSheet(
            QStringLiteral("QFrame#sheetShadow { background: white; border-radius: %1px; }").arg(radius));
        auto *shadow = new QGraphicsDropShadowEffect(caster);
        shadow->setBlurRadius(28);
        shadow->setOffset(0, 6);
        shadow->setColor(QColor(0, 0, 0, 90));
        caster->setGraphicsEffect(shadow);
        layout->addWidget(caster, 0, 0);
    }
    layout->addWidget(m_panel, 0, 0);
    m_panel->raise();
}

QWidget *SheetDialog::panel() const
{
    return m_panel;
}

void SheetDialog::fitPanelToWidth(int width)
{
    const int hfw = m_panel->layout() && m_panel->layout()->hasHeightForWidth() ? m_panel->heightForWidth(width) : -1;
    setFixedPanelSize(QSize(width, hfw > 0 ? hfw : m_panel->sizeHint().height()));
}

void SheetDialog::setFixedPanelSize(const QSize &size)
{
    m_panel->setFixedSize(size);
    setFixedSize(size.width() + 2 * m_margin, size.height() + 2 * m_margin);
    if (isVisible())
        place();
}

void SheetDialog::centreOn(QWidget *area)
{
    m_area = area;
    QWidget *window = area ? area->window() : (parentWidget() ? parentWidget()->window() : nullptr);
    if (m_watched != window) {
        if (m_watched)
            m_watched->removeEventFilter(this);
        m_watched = window;
        if (window)
            window->installEventFilter(this);
    }
    place();
}

void SheetDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_watched)
        centreOn(nullptr);
    else
        place();
}

bool SheetDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watched && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        place();
    return QDialog::eventFilter(watched, event);
}

void SheetDialog::place()
{
    QWidget *window = m_watched;
    if (!window)
        return;
    // The area may have left the window since (the main content replaced by the launch screen).
    QWidget *area = m_area && m_area->isVisible() && m_area->window() == window ? m_area.data() : window;
    const QRect target(area->mapToGlobal(QPoint(0, 0)), area->size());
    const QRect bounds(window->mapToGlobal(QPoint(0, 0)), window->size());
    QRect face(QPoint(0, 0), m_panel->size());
    face.moveCenter(target.center());
    // A sheet wider or taller than its area still stays on its window where it fits.
    if (face.width() <= bounds.width())
        face.moveLeft(qBound(bounds.left(), face.left(), bounds.right() + 1 - face.width()));
    if (face.height() <= bounds.height())
        face.moveTop(qBound(bounds.top(), face.top(), bounds.bottom() + 1 - face.height()));
    move(face.topLeft() - QPoint(m_margin, m_margin));
}
