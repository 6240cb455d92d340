#include "WindowAlertPresenter.h"

#include "Style.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
QString alertStyle()
{
    return QStringLiteral("QLabel#qt_msgbox_label { font-weight: 600; font-size: 14px; min-width: 280px; }"
                          "QLabel#qt_msgbox_informativelabel { min-width: 280px; }");
}
} // namespace

void WindowAlertPresenter::showCommonAlert(const QString &title, const QString &message, std::function<void()> onOk)
{
    const QString key = title + QChar(0) + message;
    if (QMessageBox *shown = m_open.value(key); shown && shown->isVisible()) {
        shown->raise();
        return;
    }
    // Title in bold as the alert's text, the message below it, as desktop alerts read.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Nimbrel"), title, QMessageBox::NoButton,
                                QApplication::activeWindow());
    box->setObjectName(QStringLiteral("commonAlert"));
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
