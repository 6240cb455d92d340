#include "PlaceholderSheet.h"

#include "Style.h"
#include "platform/NotificationCenter.h"
#include "texts/LocalizedText.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLabel *notYet(QWidget *parent)
{
    auto *label = new QLabel(localizedText(QStringLiteral("This part of Nimbrel is not available yet.")), parent);
    label->setObjectName(QStringLiteral("lblNotAvailable"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("color: #6b7280; font-size: 14px;"));
    return label;
}
} // namespace

PlaceholderSheet::PlaceholderSheet(const QString &windowName, QWidget *parent)
    : SheetDialog(parent)
{
    setProperty("windowName", windowName);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedPanelSize(QSize(420, 180));
    auto *layout = new QVBoxLayout(panel());
    layout->setContentsMargins(28, 28, 28, 20);
    layout->addWidget(notYet(panel()), 1);
    auto *close = new QPushButton(localizedText(QStringLiteral("Close")), panel());
    close->setObjectName(QStringLiteral("btnClose"));
    close->setStyleSheet(Style::orangeButton());
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(close, 0, Qt::AlignRight);
}

PlaceholderScreen::PlaceholderScreen(const QString &titleKey, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 40, 40, 40);
    auto *title = new QLabel(localizedText(titleKey), this);
    QLabel *message = notYet(this);
    // Kept for the life of the sidebar, so it follows language changes like the real screens.
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("UpdateChooseLanguage"), [title, message, titleKey](const QVariant &) {
        title->setText(localizedText(titleKey));
        message->setText(localizedText(QStringLiteral("This part of Nimbrel is not available yet.")));
    });
    title->setObjectName(QStringLiteral("lblTitle"));
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral("font-size: 20px; font-weight: 600; color: #1f2933;"));
    layout->addStretch();
    layout->addWidget(title);
    layout->addSpacing(8);
    layout->addWidget(message);
    layout->addStretch();
}
