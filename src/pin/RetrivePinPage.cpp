#include "RetrivePinPage.h"

#include "ui/AccountWidgets.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace AccountWidgets;

RetrivePinPage::RetrivePinPage(const QString &message, QDialog *pinDialog, QWidget *parent)
    : SheetDialog(parent)
    , m_pinDialog(pinDialog)
{
    setObjectName(QStringLiteral("RetrivePinPage"));
    QWidget *page = panel();
    lblTitle = titleLabel(page, QStringLiteral("lblTitle"));
    lblMessage = captionLabel(page, QStringLiteral("lblMessage"));
    lblMessage->setText(message);
    btnLiveChat = secondaryButton(page, QStringLiteral("btnLiveChat"));
    btnBack = primaryButton(page, QStringLiteral("btnBack"));
    btnBack->setDefault(true);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblTitle);
    layout->addSpacing(10);
    layout->addWidget(lblMessage);
    layout->addSpacing(22);
    layout->addLayout(buttonRow(btnLiveChat, btnBack));

    lblTitle->setText(localizedText(QStringLiteral("Retrieve my pin code by e-mail")));
    btnLiveChat->setText(localizedText(QStringLiteral("Live Chat 24/7")));
    btnBack->setText(localizedText(QStringLiteral("Back")));
    connect(btnLiveChat, &QPushButton::clicked, this, &RetrivePinPage::liveChat);
    connect(btnBack, &QPushButton::clicked, this, &RetrivePinPage::tappedBack);
    fitPanelToWidth(420);
}

void RetrivePinPage::liveChat()
{
    if (!m_liveChatWC)
        m_liveChatWC = CommmonFunction::shared().makeWindow(QStringLiteral("LiveChat"));
    if (m_liveChatWC) {
        m_liveChatWC->show();
        m_liveChatWC->raise();
    }
}

void RetrivePinPage::tappedBack()
{
    hide();
    if (m_pinDialog)
        CommmonFunction::shared().beginSheet(m_pinDialog);
    deleteLater();
}

void RetrivePinPage::reject()
{
    tappedBack();
}
