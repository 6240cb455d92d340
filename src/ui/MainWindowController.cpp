#include "MainWindowController.h"

#include <QHideEvent>
#include <QShowEvent>

#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

CustomWindow::CustomWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Nimbrel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (isVisible())
            rememberPlace();
    });
}

void CustomWindow::setContent(QWidget *content)
{
    if (m_content == content)
        return;
    if (m_content) {
        layout()->removeWidget(m_content);
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = content;
    if (content) {
        content->setParent(this);
        layout()->addWidget(content);
        content->show();
    }
    emit contentChanged(content);
}

void CustomWindow::setFixedContentSize(int width, int height)
{
    const QPoint centre = frameGeometry().center();
    setMinimumSize(width, height);
    setMaximumSize(width, height);
    resize(width, height);
    // A new size grows or shrinks around the same centre instead of from the top-left corner.
    if (m_placed)
        centreAt(centre);
}

void CustomWindow::rememberPlace() const
{
    const QPoint centre = frameGeometry().center();
    PreferencesStore::shared().setString(PrefKey::mainWindowCentre,
                                         QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y()));
}

void CustomWindow::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        const QStringList stored =
            PreferencesStore::shared().stringForKey(PrefKey::mainWindowCentre).value_or(QString()).split(u',');
        bool xOk = false;
        bool yOk = false;
        const QPoint remembered = stored.size() == 2 ? QPoint(stored[0].toInt(&xOk), stored[1].toInt(&yOk)) : QPoint();
        if (xOk && yOk)
            centreAt(remembered);
        else if (QScreen *primary = QGuiApplication::primaryScreen())
            centreAt(primary->availableGeometry().center());
    }
    QWidget::showEvent(event);
}

void CustomWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous() && m_placed)
        rememberPlace();
}

void CustomWindow::centreAt(QPoint centre)
{
    // The screen the place belongs to; a screen unplugged since leaves the nearest one.
    QScreen *screen = QGuiApplication::screenAt(centre);
    if (!screen) {
        qint64 best = -1;
        for (QScreen *candidate : QGuiApplication::screens()) {
            const QPoint d = candidate->availableGeometry().center() - centre;
            const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
            if (best < 0 || distance < best) {
                best = distance;
                screen = candidate;
            }
        }
    }
    QRect frame = frameGeometry();
    frame.moveCenter(centre);
    if (screen) {
        const QRect area = screen->availableGeometry();
        frame.moveLeft(qMax(area.left(), qMin(frame.left(), area.right() + 1 - frame.width())));
        frame.moveTop(qMax(area.top(), qMin(frame.top(), area.bottom() + 1 - frame.height())));
    }
    move(frame.topLeft());
}

MainWindowController::MainWindowController(QObject *parent)
    : QObject(parent)
    , m_window(new CustomWindow)
{
}

MainWindowController::~MainWindowController()
{
    delete m_window;
}

void MainWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
