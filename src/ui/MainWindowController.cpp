#include "MainWindowController.h"

#include <QVBoxLayout>

CustomWindow::CustomWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Nimbrel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
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
    setMinimumSize(width, height);
    setMaximumSize(width, height);
    resize(width, height);
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
