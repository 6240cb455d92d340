#include "WindowAlertPresenter.h"

#include "Style.h"
#include "texts/LocalizedText.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
QString alertStyle()
{
    return QStringLiteral("QLabel#qt_msgbox_label { font-weight: 600; font-size: 14px; min-width: 280px; }"
                          "QLabel#qt_msgbox_informativelabel { min-width: 280px; }");
}
// Failures are titled "Ooops" (in the language of the moment it was looked up); every other
// alert reports something done or to know.
QMessageBox::Icon iconFor(const QString &title)
{
    const QString key = QStringLiteral("Ooops");
    const bool failure = title == key || title == messageText(key) || title == localizedText(key);
    return failure ? QMessageBox::Critical : QMessageBox::Information;
}
} // namespace

void WindowAlertPresenter::showCommonAlert(const QString &title, const QString &message, std::function<void()> onOk)
{
    const QString key = title + QChar(0) + message;
    if (QMessageBox *shown = m_open.value(key); shown && shown->isVisible()) {
        shown->raise();
        return;
    }
    // Title in bold as the alert's text, the message below it, as desktop alerts read. An alert
    // given only a message shows it as its title rather than under an empty one.
    const bool titled = !title.trimmed().isEmpty();
    auto *box = new QMessageBox(iconFor(title), QStringLiteral("Nimbrel"), titled ? title : message,
                                QMessageBox::NoButton, QApplication::activeWindow());
    box->setObjectName(QStringLiteral("commonAlert"));
    if (titled)
        box->setInformativeText(message);
    box->setStyleSheet(alertStyle());
    QPushButton *ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setStyleSheet(Style::orangeButton());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [onOk = std::move(onOk)](QAbstractButton *) {
        if (onOk)
            onOk();
    });
    // The pointer empties itself when the alert closes (it deletes itself on close).
    m_open.insert(key, box);
    box->show();
}

void WindowAlertPresenter::dismissCommonAlert(const QString &title, const QString &message)
{
    // Closing deletes it, without its OK action: nobody pressed OK.
    if (QMessageBox *shown = m_open.take(serverText(title) + QChar(0) + serverText(message)))
        shown->close();
}

void WindowAlertPresenter::showChoiceAlert(const QString &message, const QString &informative, const QStringList &buttons,
                                           std::function<void(int)> onChoice)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Nimbrel"), message, QMessageBox::NoButton,
                                QApplication::activeWindow());
    box->setObjectName(QStringLiteral("choiceAlert"));
    box->setStyleSheet(alertStyle());
    box->setInformativeText(informative);
    QList<QAbstractButton *> added;
    for (const QString &text : buttons)
        added.append(box->addButton(text, added.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    if (!added.isEmpty())
        added.first()->setStyleSheet(Style::orangeButton());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [added, onChoice = std::move(onChoice)](QAbstractButton *b) {
        if (onChoice)
            onChoice(int(added.indexOf(b)));
    });
    box->show();
}
