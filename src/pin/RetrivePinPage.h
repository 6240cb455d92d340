#pragma once

#include "ui/SheetDialog.h"

#include <QPointer>

class QLabel;
class QPushButton;

// Shown in place of a PIN dialog once the server accepted a retrieval request: the server's
// word on when the PIN will come, the live chat, and the way back to the PIN dialog.
class RetrivePinPage : public SheetDialog
{
    Q_OBJECT
public:
    RetrivePinPage(const QString &message, QDialog *pinDialog, QWidget *parent = nullptr);

    void liveChat();
    void tappedBack();
    // Escape and the window's close button lead back as well: the PIN dialog must come back.
    void reject() override;

    QLabel *lblTitle = nullptr;
    QLabel *lblMessage = nullptr;
    QPushButton *btnLiveChat = nullptr;
    QPushButton *btnBack = nullptr;

private:
    QPointer<QDialog> m_pinDialog;
    QPointer<QDialog> m_liveChatWC;
};
