#include "CommmonFunction.h"

#include "BlockPage.h"

#include "MainWindowController.h"
#include "PlaceholderSheet.h"
#include "SheetDialog.h"
#include "core/Log.h"
#include "platform/AlertPresenter.h"
#include "texts/LocalizedText.h"

#include <QTimer>
#include <memory>

namespace {
std::unique_ptr<CommmonFunction> &sharedSlot()
{
    static std::unique_ptr<CommmonFunction> instance;
    return instance;
}
} // namespace

CommmonFunction &CommmonFunction::shared()
{
    auto &slot = sharedSlot();
    if (!slot)
        slot = std::make_unique<CommmonFunction>();
    return *slot;
}

void CommmonFunction::resetShared()
{
    sharedSlot().reset();
}

void CommmonFunction::setMainWindow(CustomWindow *window)
{
    m_mainWindow = window;
}

void CommmonFunction::registerWindow(const QString &name, WindowFactory factory)
{
    m_factories.insert(name, std::move(factory));
}

void CommmonFunction::setMainContentFactory(std::function<QWidget *()> factory)
{
    m_mainContentFactory = std::move(factory);
}

QDialog *CommmonFunction::makeWindow(const QString &name)
{
    const WindowFactory factory = m_factories.value(name);
    QDialog *window = factory ? factory(m_mainWindow) : new PlaceholderSheet(name, m_mainWindow);
    if (window)
        window->setObjectName(name);
    return window;
}

bool CommmonFunction::beginSheet(QDialog *window)
{
    if (!m_mainWindow || !window)
        return false;
    // The type replaces the dialog's: or-ing the two would make a drawer.
    window->setParent(m_mainWindow, (window->windowFlags() & ~Qt::WindowType_Mask) | Qt::Sheet);
    window->setWindowModality(Qt::WindowModal);
    if (auto *sheet = qobject_cast<SheetDialog *>(window)) {
        const bool inMain = sheetArea && sheetArea->window() == m_mainWindow && sheetArea->isVisible();
        sheet->centreOn(inMain ? sheetArea.data() : m_mainWindow.data());
    }
    window->open();
    return true;
}

void CommmonFunction::present(Slot slot, const QString &name)
{
    ++m_queued;
    QTimer::singleShot(0, this, [this, slot, name] {
        --m_queued;
        QDialog *window = makeWindow(name);
        if (!window)
            return;
        m_slots.insert(slot, window);
        openMainWindow = window;
        if (!beginSheet(window))
            return;
        // A sheet closed by its own buttons frees its slot for the next presentation.
        connect(window, &QDialog::finished, this, [this, slot, window] {
            if (m_slots.value(slot) == window)
                m_slots.remove(slot);
        });
    });
}

void CommmonFunction::showVerifyPinOnStart()
{
    // Checked before the hop to the event loop, so two quick calls present one window.
    if (m_slots.value(VerifyPinOnStartSlot))
        return;
    present(VerifyPinOnStartSlot, QStringLiteral("VerifyPinOnStart"));
}

void CommmonFunction::showLogIn()
{
    present(LogInSlot, QStringLiteral("LogInWindowController"));
}

bool CommmonFunction::signInShown() const
{
    if (m_queued > 0)
        return true;
    for (Slot slot : {LogInSlot, SignupSlot, PasswordSlot, ResetPasswordSlot}) {
        if (QDialog *sheet = m_slots.value(slot); sheet && sheet->isVisible())
            return true;
    }
    return false;
}

void CommmonFunction::showSignup()
{
    present(SignupSlot, QStringLiteral("SignupWindowController"));
}

void CommmonFunction::showPassword()
{
    present(PasswordSlot, QStringLiteral("PasswordWindowController"));
}

void CommmonFunction::showResetPassword()
{
    present(ResetPasswordSlot, QStringLiteral("ResetPasswordWindowController"));
}

void CommmonFunction::dismissPresented(Slot slot)
{
    QPointer<QDialog> window = m_slots.take(slot);
    if (m_mainWindow && window) {
        window->hide();
        window->deleteLater();
    }
}

void CommmonFunction::openMainContent(const QSize &size)
{
    if (!m_mainWindow || !m_mainContentFactory)
        return;
    QWidget *current = m_mainWindow->content();
    if (!current || !current->inherits("SplitViewController"))
        m_mainWindow->setContent(m_mainContentFactory());
    if (size.isValid())
        m_mainWindow->setFixedContentSize(size.width(), size.height());
}

void CommmonFunction::startLogout()
{
    // The composition always sets the flow; without one there is nothing sound to show.
    if (m_logoutFlow)
        m_logoutFlow();
    else
        Log::line(QStringLiteral("Logout asked before the application set its logout flow"));
}

void CommmonFunction::showCommonAlert(const QString &title, const QString &message, std::function<void()> onOk)
{
    // Screens pass the server's "msg" as it came; the few texts it keeps fixed on the wire are
    // shown in the interface language here, once for all of them.
    AlertPresenter::shared().showCommonAlert(serverText(title), serverText(message), std::move(onOk));
}
