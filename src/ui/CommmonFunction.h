#pragma once

#include "BlockPage.h"
#include "StartupPresenter.h"

#include <QDialog>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <functional>

#include "MainWindowController.h"

// Presents the account and PIN windows as sheets on the main window, opens the main content,
// and shows the common alert. Windows are made through factories registered by name, so a
// screen can open another screen's window without depending on it; a name nobody registered
// opens a sheet saying that part is not available yet.
class CommmonFunction : public QObject, public StartupPresenter
{
    Q_OBJECT
public:
    enum Slot { VerifyPinOnStartSlot, LogInSlot, SignupSlot, PasswordSlot, ResetPasswordSlot };
    using WindowFactory = std::function<QDialog *(QWidget *parent)>;

    static CommmonFunction &shared();
    // Tests: drops the shared instance with its factories, slots and main window.
    static void resetShared();

    void setMainWindow(CustomWindow *window);
    CustomWindow *mainWindow() const { return m_mainWindow; }

    void registerWindow(const QString &name, WindowFactory factory);
    bool hasWindow(const QString &name) const { return m_factories.contains(name); }
    // Whether the next FAQ window shows the block page, and for which application.
    BlockPageRequest &blockPageRequest() { return m_blockPageRequest; }
    void setMainContentFactory(std::function<QWidget *()> factory);
    // The window registered under name, or the placeholder; parented to the main window.
    QDialog *makeWindow(const QString &name);
    // Begins the window as a sheet on the main window; false (and nothing shown) without one.
    bool beginSheet(QDialog *window);

    void showVerifyPinOnStart() override;
    bool verifyingPinOnStart() const override { return !m_slots.value(VerifyPinOnStartSlot).isNull(); }
    void showLogIn() override;
    bool signInShown() const override;
    void showSignup();
    void showPassword();
    void showResetPassword();
    void openMainContent(const QSize &size) override;
    void dismissPresented(Slot slot);
    QDialog *presented(Slot slot) const { return m_slots.value(slot); }

    // The logout flow the sidebar starts once the user confirmed.
    void setLogoutFlow(std::function<void()> flow) { m_logoutFlow = std::move(flow); }
    void startLogout();

    // The one alert of the application: an "OK" button, optional OK action. Server texts kept
    // fixed on the wire are shown translated.
    static void showCommonAlert(const QString &title, const QString &message, std::function<void()> onOk = {});

    // The sheet last presented by one of the presenters.
    QPointer<QDialog> openMainWindow;
    QPointer<QWidget> objcSplitViewController;
    // Where sheets are centred: the detail pane of the main content, so they leave the
    // sidebar free. The whole main window while it shows something else.
    QPointer<QWidget> sheetArea;

private:
    void present(Slot slot, const QString &name);

    QPointer<CustomWindow> m_mainWindow;
    QHash<QString, WindowFactory> m_factories;
    BlockPageRequest m_blockPageRequest;
    std::function<QWidget *()> m_mainContentFactory;
    std::function<void()> m_logoutFlow;
    QHash<int, QPointer<QDialog>> m_slots;
    // Presentations queued on the event loop and not made yet.
    int m_queued = 0;
};
