#include "TermsAndConditions.h"

#include "ui/AccountWidgets.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TermsAndConditions::TermsAndConditions(QWidget *parent) : QWidget(parent)
{
    AccountWidgets::styleSheetPage(this);
    lblTerms = AccountWidgets::titleLabel(this, QStringLiteral("lblTerms"));
    lblTerms->setText(localizedText(QStringLiteral("Terms & Condition")));
    lorem = AccountWidgets::captionLabel(this, QStringLiteral("lorem"));
    lorem->setWordWrap(true);
    lorem->setText(localizedText(QStringLiteral(
        "By creating your account you agree to the Nimbrel terms of use. In short: Nimbrel filters "
        "the websites your computer looks up through our DNS server and closes the applications you"
        " choose to block. We keep your e-mail address, your device name and your block lists to ru"
        "n the service, never sell them, and delete them when you ask. A PIN you set may keep you f"
        "rom weakening your protection until its waiting time has passed: that is the point of it, "
        "so choose the waiting time with care.")));
    auto *links = new QPushButton(this);
    links->setObjectName(QStringLiteral("btnReadTerms"));
    links->setFlat(true);
    links->setCursor(Qt::PointingHandCursor);
    links->setText(localizedText(QStringLiteral("Read the full terms")));
    links->setStyleSheet(QStringLiteral("QPushButton { text-decoration: underline; border: none; text-align: left; }"));
    connect(links, &QPushButton::clicked, this, [] { AccountWidgets::openTerms(); });
    btnContinue = AccountWidgets::primaryButton(this, QStringLiteral("btnContinue"));
    btnContinue->setText(localizedText(QStringLiteral("Continue")));
    btnContinue->setMinimumWidth(160);
    connect(btnContinue, &QPushButton::clicked, this, &TermsAndConditions::continueAction);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(80, 60, 80, 50);
    layout->setSpacing(18);
    layout->addWidget(lblTerms);
    layout->addWidget(lorem);
    layout->addWidget(links, 0, Qt::AlignLeft);
    layout->addStretch(1);
    layout->addWidget(btnContinue, 0, Qt::AlignRight);
}

void TermsAndConditions::continueAction()
{
    CommmonFunction::shared().openMainContent(QSize(800, 500));
}
